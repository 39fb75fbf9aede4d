#include "serial/Waiter.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

// A wait set of event handles: a device is watched through the event its overlapped wait
// signals. WaitForMultipleObjects names only the first handle that is set, so the others are
// looked at without waiting, so that one busy port does not starve the rest.
namespace zrk {

struct Waiter::System {
    HANDLE wakeUp = nullptr;          // auto-reset: one wake-up ends one wait
    std::vector<HANDLE> handles;      // handles[0] is wakeUp
    std::vector<std::uint64_t> tags;  // tags[i] for handles[i]; tags[0] unused
};

Waiter::Waiter() : m_System(std::make_unique<System>()) {
    m_System->wakeUp = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_System->wakeUp)
        throw std::runtime_error("cannot create the event loop's wake-up event");
    m_System->handles.push_back(m_System->wakeUp);
    m_System->tags.push_back(0);
}

Waiter::~Waiter() {
    ::CloseHandle(m_System->wakeUp);
}

void Waiter::wake() {
    ::SetEvent(m_System->wakeUp);
}

bool Waiter::watch(Waitable device, std::uint64_t tag) {
    System& s = *m_System;
    const HANDLE handle = reinterpret_cast<HANDLE>(device.native());
    // The system waits on at most MAXIMUM_WAIT_OBJECTS handles at once.
    if (!device.valid() || s.handles.size() >= MAXIMUM_WAIT_OBJECTS)
        return false;
    s.handles.push_back(handle);
    s.tags.push_back(tag);
    return true;
}

void Waiter::unwatch(Waitable device) {
    System& s = *m_System;
    const HANDLE handle = reinterpret_cast<HANDLE>(device.native());
    for (std::size_t i = 1; i < s.handles.size(); ++i) {
        if (s.handles[i] == handle) {
            s.handles.erase(s.handles.begin() + static_cast<std::ptrdiff_t>(i));
            s.tags.erase(s.tags.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

int Waiter::wait(std::span<Ready> ready, int timeoutMs) {
    System& s = *m_System;
    const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    const DWORD count = static_cast<DWORD>(s.handles.size());
    const DWORD first = ::WaitForMultipleObjects(count, s.handles.data(), FALSE, timeout);
    if (first == WAIT_TIMEOUT)
        return 0;
    if (first >= WAIT_OBJECT_0 + count)
        return -1;  // WAIT_FAILED, or an abandoned mutex, which no one here hands over
    int found = 0;
    for (DWORD i = first - WAIT_OBJECT_0;
         i < count && static_cast<std::size_t>(found) < ready.size(); ++i) {
        if (i == 0) {
            if (first != WAIT_OBJECT_0)  // it is still set: take the wake-up as well
                ::WaitForSingleObject(s.wakeUp, 0);
            continue;
        }
        if (i != first - WAIT_OBJECT_0 && ::WaitForSingleObject(s.handles[i], 0) != WAIT_OBJECT_0)
            continue;
        ready[static_cast<std::size_t>(found++)] = {s.tags[i], WaitEvent::Readable};
    }
    return found;
}

}  // namespace zrk

#include "serial/Waiter.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace zrk {

namespace {
// The wake-up descriptor's events carry this tag.
constexpr std::uint64_t kWakeTag = 0;
}  // namespace

// The epoll bits are poll's.
const short Waiter::kReadable = POLLIN;

Waiter::Waiter() {
    m_WakeHandle = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_WakeHandle < 0)
        throw std::runtime_error("cannot create the event loop's wake-up descriptor");
    // An epoll set, not a poll of the descriptors: poll looks at every descriptor twice per
    // wake-up, epoll only at the one that woke it.
    m_SetHandle = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event wakeUp{EPOLLIN, {.u64 = kWakeTag}};
    if (m_SetHandle < 0 || ::epoll_ctl(m_SetHandle, EPOLL_CTL_ADD, m_WakeHandle, &wakeUp) != 0) {
        ::close(m_WakeHandle);
        if (m_SetHandle >= 0)
            ::close(m_SetHandle);
        throw std::runtime_error("cannot create the event loop's wait set");
    }
}

Waiter::~Waiter() {
    ::close(m_WakeHandle);
    ::close(m_SetHandle);
}

void Waiter::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(m_WakeHandle, &one, sizeof one);
}

bool Waiter::watch(int descriptor, std::uint64_t tag) {
    epoll_event input{EPOLLIN, {.u64 = tag}};
    return ::epoll_ctl(m_SetHandle, EPOLL_CTL_ADD, descriptor, &input) == 0;
}

void Waiter::unwatch(int descriptor) {
    ::epoll_ctl(m_SetHandle, EPOLL_CTL_DEL, descriptor, nullptr);
}

int Waiter::wait(std::span<Ready> ready, int timeoutMs) {
    epoll_event events[8];
    const int capacity = static_cast<int>(std::min<std::size_t>(ready.size(), 8));
    const int n = ::epoll_wait(m_SetHandle, events, capacity, timeoutMs);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == kWakeTag) {
            std::uint64_t wakeUps = 0;
            [[maybe_unused]] auto ignored = ::read(m_WakeHandle, &wakeUps, sizeof wakeUps);
            continue;
        }
        ready[static_cast<std::size_t>(count++)] = {events[i].data.u64,
                                                    static_cast<short>(events[i].events)};
    }
    return count;
}

}  // namespace zrk

#include "serial/Waiter.h"

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

int descriptorOf(Waitable device) {
    return static_cast<int>(device.native());
}

WaitEvents eventsOf(std::uint32_t bits) {
    WaitEvents events;
    if (bits & EPOLLIN)
        events |= WaitEvent::Readable;
    if (bits & EPOLLHUP)
        events |= WaitEvent::HungUp;
    if (bits & EPOLLERR)
        events |= WaitEvent::Error;
    return events;
}
}  // namespace

struct Waiter::System {
    int wakeUp = -1;
    int set = -1;
};

Waiter::Waiter() : m_System(std::make_unique<System>()) {
    System& s = *m_System;
    s.wakeUp = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s.wakeUp < 0)
        throw std::runtime_error("cannot create the event loop's wake-up descriptor");
    // An epoll set, not a poll of the descriptors: poll looks at every descriptor twice per
    // wake-up, epoll only at the one that woke it.
    s.set = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event wakeUp{EPOLLIN, {.u64 = kWakeTag}};
    if (s.set < 0 || ::epoll_ctl(s.set, EPOLL_CTL_ADD, s.wakeUp, &wakeUp) != 0) {
        ::close(s.wakeUp);
        if (s.set >= 0)
            ::close(s.set);
        throw std::runtime_error("cannot create the event loop's wait set");
    }
}

Waiter::~Waiter() {
    ::close(m_System->wakeUp);
    ::close(m_System->set);
}

void Waiter::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(m_System->wakeUp, &one, sizeof one);
}

bool Waiter::watch(Waitable device, std::uint64_t tag) {
    epoll_event input{EPOLLIN, {.u64 = tag}};
    return ::epoll_ctl(m_System->set, EPOLL_CTL_ADD, descriptorOf(device), &input) == 0;
}

void Waiter::unwatch(Waitable device) {
    ::epoll_ctl(m_System->set, EPOLL_CTL_DEL, descriptorOf(device), nullptr);
}

int Waiter::wait(std::span<Ready> ready, int timeoutMs) {
    epoll_event events[8];
    const int capacity = static_cast<int>(std::min<std::size_t>(ready.size(), 8));
    const int n = ::epoll_wait(m_System->set, events, capacity, timeoutMs);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == kWakeTag) {
            std::uint64_t wakeUps = 0;
            [[maybe_unused]] auto ignored = ::read(m_System->wakeUp, &wakeUps, sizeof wakeUps);
            continue;
        }
        ready[static_cast<std::size_t>(count++)] = {events[i].data.u64, eventsOf(events[i].events)};
    }
    return count;
}

}  // namespace zrk

#include "sim/PhoneSimulator.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

// The host's side of the pseudo-terminal: waiting for its bytes, and its opens and closes as the
// kernel logs them.
namespace zrk::sim {

PhoneSimulator::Readiness PhoneSimulator::waitForWork(std::optional<std::chrono::nanoseconds> wait,
                                                      bool listen) {
    Readiness readiness;
    // While nobody has the slave open the master may report a hang-up on every wait; the open
    // event wakes us instead.
    if (listen != m_MasterWatched) {
        epoll_event master{EPOLLIN, {.u32 = kMasterTag}};
        if (::epoll_ctl(m_Epoll, listen ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, m_Pty.masterFd(),
                        &master) != 0) {
            readiness.failed = true;
            return readiness;
        }
        m_MasterWatched = listen;
    }
    timespec timeout{};
    if (wait) {
        timeout.tv_sec = static_cast<time_t>(wait->count() / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(wait->count() % 1'000'000'000);
    }
    epoll_event ready[3];
    int n = -1;
    if (m_WaitsToTheNanosecond) {
        n = ::epoll_pwait2(m_Epoll, ready, 3, wait ? &timeout : nullptr, nullptr);
        if (n < 0 && errno == ENOSYS)
            m_WaitsToTheNanosecond = false;
    }
    if (!m_WaitsToTheNanosecond) {
        // An older kernel: the set itself is waited for to the nanosecond, then read at once.
        pollfd set{m_Epoll, POLLIN, 0};
        n = ::ppoll(&set, 1, wait ? &timeout : nullptr, nullptr);
        if (n > 0)
            n = ::epoll_wait(m_Epoll, ready, 3, 0);
    }
    if (n < 0) {
        readiness.failed = errno != EINTR;
        return readiness;
    }
    for (int i = 0; i < n; ++i) {
        if (!(ready[i].events & EPOLLIN))
            continue;
        if (ready[i].data.u32 == kLogTag)
            readiness.events = true;
        else if (ready[i].data.u32 == kMasterTag)
            readiness.master = true;
    }
    return readiness;
}

void PhoneSimulator::pullEvents() {
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t n = ::read(m_Inotify, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            m_Events.push_back(event->mask);
        }
    }
}

bool PhoneSimulator::pending(std::uint32_t mask) const {
    return std::any_of(m_Events.begin(), m_Events.end(),
                       [mask](std::uint32_t event) { return (event & mask) != 0; });
}

void PhoneSimulator::serveEvents(TimePoint now) {
    while (!m_Events.empty()) {
        const std::uint32_t mask = m_Events.front();
        m_Events.pop_front();
        if (mask & IN_OPEN) {
            if (m_OpenCount++ == 0) {
                m_LineBaud = 0;  // not known until the host's first bytes of this session
                note("host opened the port");
                m_Phone->hostOpened(now);
            }
        } else if (mask & IN_CLOSE) {
            if (m_OpenCount == 0)
                continue;
            if (--m_OpenCount > 0) {
                // A second opener went away; the host's opening goes on.
                queueInput(now, m_Unjudged, m_LineBaud);
                m_Unjudged.clear();
                continue;
            }
            hostClosed(now);
        }
    }
    // Cannot stay undecided once every logged close is served.
    if (!m_Unjudged.empty()) {
        queueInput(now, m_Unjudged, m_LineBaud);
        m_Unjudged.clear();
    }
}

void PhoneSimulator::hostClosed(TimePoint now) {
    ::ioctl(m_Keeper, TIOCNXCL);
    // What the host wrote before closing is on the line and reaches the phone first (an
    // empty read waits for the terminal's pending input).
    std::vector<std::uint8_t> bytes;
    bytes.swap(m_Unjudged);
    const auto rest = drainMaster(true);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    // The port keeps its speed after the close until the host opens it again; the log taken
    // after the sample tells whether that happened before it.
    const unsigned sampled = m_Pty.slaveBaud().value_or(0);
    pullEvents();
    const bool reopened = pending(IN_OPEN);
    // Without a reopen, these bytes are all of this opening and left at the speed sampled.
    // After one, the speed now may be the next opening's, and some of the bytes may be too
    // (a host that reopens at once for the baud switch sends its start byte straight away):
    // the speed is the one known from earlier, and the bytes that would reach a phone
    // waiting for the reopen are the next opening's.
    if (!bytes.empty())
        queueInput(now, bytes, reopened ? m_LineBaud : sampled);
    feedInput(now, true, reopened);
    if (!m_Input.empty()) {
        note(std::to_string(m_Input.size()) +
             " byte(s) read late were sent after the reopen; their speed is not known");
        for (auto& in : m_Input)
            in.baud = 0;
    }
    m_Output.clear();
    const int cycles = m_Phone->counters().powerCycles;
    m_Phone->hostClosed(now);
    note(m_Phone->counters().powerCycles != cycles
             ? "host closed the port: power off, back to the boot ROM"
             : "host closed the port for the baud switch");
    m_Phone->takeOutput();
}

}  // namespace zrk::sim

#include "serial/CommPort.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "serial/ByteTrace.h"

// Reading from the port: what is there now, into the receive queue, and the watcher thread that
// waits for it (or the sink's thread, which waits on inputWait() itself).
namespace zrk {

long CommPort::readAvailable(std::uint8_t* buffer, std::size_t capacity) {
    if (m_Fd < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(m_Fd, buffer, capacity);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return 0;
        return -1;
    }
}

bool CommPort::setReadOnSinkThread(bool on) {
    m_SinkReadsWanted = on;
    return true;
}

CommPort::InputWait CommPort::inputWait() const {
    if (!m_SinkReads || m_Fd < 0 || m_InputEnded || !m_Connected.load())
        return {};
    return {Waitable(m_Fd), m_QueueRead.freeSpace() == 0};
}

bool CommPort::readInput(WaitEvents events) {
    if (!m_SinkReads || m_Fd < 0 || m_InputEnded)
        return false;
    const std::string lostReason =
        events.has(WaitEvent::Closed)
            ? std::string("the device was closed")
            : takeInput(events.has(WaitEvent::HungUp) || events.has(WaitEvent::Error));
    if (!lostReason.empty()) {
        // A hung-up descriptor polls ready for ever: stop asking it, as the watcher would end.
        m_InputEnded = true;
        reportLost(lostReason);
    }
    return dataReady();
}

std::string CommPort::takeInput(bool hungUp) {
    std::uint8_t burst[kReadBurst];
    bool readSomething = false;
    for (;;) {
        const int space = m_QueueRead.freeSpace();
        if (space == 0)
            return {};
        const std::size_t wanted =
            std::min<std::size_t>(kReadBurst, static_cast<std::size_t>(space));
        const long n = readAvailable(burst, wanted);
        if (n > 0) {
            if (m_Trace)
                m_Trace->traceBlock(TraceDirection::PhoneToHost, burst, n);
            m_QueueRead.pushBlock(burst, static_cast<std::size_t>(n));
            readSomething = true;
            // A short read emptied the driver; asking again would only say so (the next
            // poll hears of anything newer), and that is a system call per reply.
            if (static_cast<std::size_t>(n) < wanted)
                return {};
            continue;
        }
        if (n < 0)
            return std::strerror(errno);
        if (hungUp && !readSomething)
            return "the device hung up";
        return {};
    }
}

void CommPort::ThreadWatchComm() {
    std::string lostReason;
    while (m_Connected.load() && lostReason.empty()) {
        // A full queue stops the reading, not the bytes: the driver holds them until the
        // protocol thread has made room, so nothing is dropped.
        if (m_QueueRead.freeSpace() == 0) {
            pollfd wake{m_WakeFd, POLLIN, 0};
            ::poll(&wake, 1, 5);
            continue;
        }
        pollfd fds[2] = {{m_WakeFd, POLLIN, 0}, {m_Fd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            lostReason = std::string("poll failed: ") + std::strerror(errno);
            break;
        }
        if (fds[0].revents)
            continue;  // close() woke us; the loop test ends the thread
        if (!(fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)))
            continue;
        lostReason = takeInput(fds[1].revents & (POLLHUP | POLLERR | POLLNVAL));
        notifyData();
    }
    if (!lostReason.empty() && m_Connected.load())
        reportLost(lostReason);
}

}  // namespace zrk

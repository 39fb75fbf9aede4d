#include "serial/CommPort.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "serial/ByteTrace.h"

// Writing to the port: in slices that a cancel (Ctrl-C, Stop) can end, with a deadline from the
// line's speed, and with the bytes the device still holds taken off what counts as sent.
namespace zrk {

void CommPort::cancelWrites() {
    m_CancelWrites.store(true);
    if (m_CancelFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(m_CancelFd, &one, sizeof one);
    }
}

CommPort::Wait CommPort::waitOnce(short events, Deadline deadline,
                                  std::chrono::milliseconds pause) {
    if (m_CancelWrites.load())
        return Wait::Cancelled;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return Wait::TimedOut;
    const auto slice = std::min({left, kWriteSlice, events != 0 ? kWriteSlice : pause});
    pollfd fds[2] = {{m_CancelFd, POLLIN, 0}, {m_Fd, events, 0}};
    const int ready = ::poll(fds, events != 0 ? 2 : 1, static_cast<int>(slice.count()));
    if (ready < 0)
        return errno == EINTR ? Wait::Ready : Wait::Failed;
    if (m_CancelWrites.load())
        return Wait::Cancelled;
    if (fds[0].revents & POLLIN) {
        // A wake-up left over from a cancel before this opening.
        std::uint64_t count = 0;
        [[maybe_unused]] auto ignored = ::read(m_CancelFd, &count, sizeof count);
    }
    if (events != 0 && (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)))
        return Wait::Failed;
    return Wait::Ready;
}

std::optional<std::size_t> CommPort::drainOutput(Deadline deadline, bool& cancelled) {
    // tcdrain has no deadline, so ask the driver what it still holds instead: TIOCOUTQ for its
    // buffer, and the line status for the transmitter where the driver reports it. A driver
    // that answers neither is trusted to have sent what it took (a pseudo-terminal holds
    // nothing).
    for (;;) {
        int queued = 0;
        if (::ioctl(m_Fd, TIOCOUTQ, &queued) != 0)
            return std::nullopt;
        bool transmitting = false;
        if (queued <= 0) {
            // A driver without a line status (a pseudo-terminal, many USB adapters) says so
            // once; asking again after every write would cost a system call per block.
            if (!m_HasLineStatus)
                return std::nullopt;
            unsigned int status = 0;
            const bool answered = ::ioctl(m_Fd, TIOCSERGETLSR, &status) == 0;
            if (!answered && (errno == ENOTTY || errno == EINVAL))
                m_HasLineStatus = false;
            transmitting = answered && !(status & TIOCSER_TEMT);
            if (!transmitting)
                return std::nullopt;
        }
        const std::size_t held = queued > 0 ? static_cast<std::size_t>(queued) : 0;
        // About as long as the held bytes need on the wire, so a short reply is not delayed by
        // a whole slice.
        const auto pause = std::max(std::chrono::milliseconds(1), wireTime(held, m_Baud));
        switch (waitOnce(0, deadline, pause)) {
            case Wait::Ready:
                break;
            case Wait::Cancelled:
                cancelled = true;
                return held;
            case Wait::TimedOut:
            case Wait::Failed:
                return held;
        }
    }
}

std::size_t CommPort::write(const std::uint8_t* data, std::size_t length) {
    if (m_Fd < 0 || m_WriteFailed.load())
        return 0;
    const Deadline deadline = std::chrono::steady_clock::now() + writeDeadline(length, m_Baud);
    std::size_t done = 0;
    bool cancelled = false;
    bool failed = false;
    while (done < length && !failed) {
        if (m_CancelWrites.load()) {
            cancelled = true;
            break;
        }
        const ssize_t n = ::write(m_Fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            failed = true;
            break;
        }
        switch (waitOnce(POLLOUT, deadline, kWriteSlice)) {
            case Wait::Ready:
                break;
            case Wait::Cancelled:
                cancelled = true;
                break;
            case Wait::TimedOut:
            case Wait::Failed:
                failed = true;
                break;
        }
        if (cancelled)
            break;
    }
    if (m_Trace && done)
        m_Trace->traceBlock(TraceDirection::HostToPhone, data, done);
    std::size_t sent = done;
    bool drained = true;
    if (done == length && length > 0 && !m_HoldsNoOutput) {
        if (const auto held = drainOutput(deadline, cancelled)) {
            sent = done - std::min(*held, done);
            drained = false;
        }
    }
    if (done < length || !drained) {
        failWrite(sent, length, cancelled);
    }
    return sent;
}

}  // namespace zrk

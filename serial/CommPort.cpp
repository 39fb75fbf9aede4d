#include "serial/CommPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "serial/ByteTrace.h"

namespace zrk {

namespace {

// Unix 98 pseudo-terminal slaves have majors 136 to 143 (the kernel's devices.txt).
bool isPseudoTerminal(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned major = major(info.st_rdev);
    return major >= 136 && major <= 143;
}

}  // namespace

static_assert(std::atomic<bool>::is_always_lock_free, "cancelWrites runs in signal handlers");

CommPort::CommPort(const PortMap& ports) : m_Ports(ports) {
    // Without it a cancel still ends a write, only at the end of the current slice.
    m_CancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CommPort::~CommPort() {
    close();
    if (m_CancelFd >= 0)
        ::close(m_CancelFd);
}

std::optional<speed_t> CommPort::speedFor(std::uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return std::nullopt;
    }
}

std::optional<termios> CommPort::buildLineSettings(const termios& current, std::uint32_t baud,
                                                   int dataBits, Parity parity, int stopBits) {
    const auto speed = speedFor(baud);
    if (!speed || stopBits != 0)
        return std::nullopt;
    tcflag_t size = 0;
    switch (dataBits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            return std::nullopt;
    }
    termios t = current;
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= size | CLOCAL | CREAD;
    if (parity == Parity::Even) {
        t.c_cflag |= PARENB;
        t.c_iflag |= INPCK;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, *speed);
    cfsetospeed(&t, *speed);
    return t;
}

bool CommPort::fail(OpenFailure::Kind kind, int error) {
    m_LastFailure = {kind, error, m_DeviceName};
    releaseDevice();
    return false;
}

bool CommPort::open(std::uint16_t portNumber, std::uint32_t baud) {
    if (m_Watcher.joinable() || m_Fd >= 0)
        close();
    m_Connected.store(0);
    m_PortNumber = portNumber;
    m_DeviceName = m_Ports.device(portNumber);
    m_LastFailure = {};
    // A cancel ends the writes of one opening. The flag first: a cancel that lands between
    // the two lines still holds, it only loses its wake-up, and the write's slices see it.
    m_CancelWrites.store(false);
    if (m_CancelFd >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] auto ignored = ::read(m_CancelFd, &count, sizeof count);
    }
    m_WriteFailed.store(false);
    m_HasLineStatus = true;
    m_HoldsNoOutput = false;
    m_SinkReads = m_SinkReadsWanted;
    m_InputEnded = false;

    m_Fd = ::open(m_DeviceName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_Fd < 0) {
        const int error = errno;
        const auto kind = error == ENOENT ? OpenFailure::Kind::NotFound
                          : (error == EACCES || error == EPERM)
                              ? OpenFailure::Kind::PermissionDenied
                          : error == EBUSY ? OpenFailure::Kind::InUse
                                           : OpenFailure::Kind::Other;
        return fail(kind, error);
    }
    // flock holds against root too; TIOCEXCL keeps out openers that do not take the lock.
    if (::flock(m_Fd, LOCK_EX | LOCK_NB) != 0)
        return fail(OpenFailure::Kind::InUse, errno);
    if (!::isatty(m_Fd))
        return fail(OpenFailure::Kind::NotATerminal, ENOTTY);
    if (::ioctl(m_Fd, TIOCEXCL) != 0)
        return fail(OpenFailure::Kind::Other, errno);
    // Whatever the device collected before we owned it belongs to nobody, and so do the bytes
    // an earlier opening left unread. The watcher has been joined, so the queue is ours alone.
    ::tcflush(m_Fd, TCIOFLUSH);
    m_QueueRead.reset();

    if (!applyLine(baud, 8, Parity::None, 0)) {
        return fail(OpenFailure::Kind::LineRejected, errno);
    }
    // Lower the driver's receive latency where it offers that; a pty does not, which is fine.
    serial_struct serial{};
    if (::ioctl(m_Fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(m_Fd, TIOCSSERIAL, &serial);
    }
    m_HoldsNoOutput = isPseudoTerminal(m_Fd);
    // The descriptor stays non-blocking: a write waits in poll slices against its deadline, so
    // a device that stops taking bytes cannot hold the protocol thread for ever; reads are
    // immediate through VMIN=0 VTIME=0 anyway.

    m_WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_WakeFd < 0)
        return fail(OpenFailure::Kind::Other, errno);
    beginSession();
    m_Connected.store(1);
    try {
        if (!m_SinkReads)
            m_Watcher = std::thread(&CommPort::ThreadWatchComm, this);
    } catch (const std::system_error& e) {
        m_Connected.store(0);
        return fail(OpenFailure::Kind::ThreadFailed, e.code().value());
    }
    if (m_Trace)
        m_Trace->traceNote("open " + m_DeviceName + " at " + std::to_string(baud));
    return true;
}

bool CommPort::applyLine(std::uint32_t baud, int dataBits, Parity parity, int stopBits) {
    ::tcflush(m_Fd, TCIOFLUSH);
    termios current{};
    if (::tcgetattr(m_Fd, &current) != 0)
        return false;
    const auto wanted = buildLineSettings(current, baud, dataBits, parity, stopBits);
    if (!wanted) {
        errno = EINVAL;
        return false;
    }
    if (::tcsetattr(m_Fd, TCSANOW, &*wanted) != 0)
        return false;
    m_Baud = baud;
    // The phone's side must not see DTR; a pty has no modem lines, so failure is expected there.
    int dtr = TIOCM_DTR;
    ::ioctl(m_Fd, TIOCMBIC, &dtr);
    return true;
}

bool CommPort::setLineFormat(std::uint32_t baud, int dataBits, Parity parity, int stopBits) {
    if (m_Fd < 0)
        return false;
    const bool ok = applyLine(baud, dataBits, parity, stopBits);
    if (m_Trace) {
        m_Trace->traceNote("line " + std::to_string(baud) + " " + std::to_string(dataBits) +
                           (parity == Parity::Even ? "E1" : "N1") + (ok ? "" : " rejected"));
    }
    return ok;
}

namespace {

// Ten bits a byte: start, eight data, stop. A parity bit hides in the deadline's factor of two,
// and so does a driver that is slow to start.
std::chrono::milliseconds wireTime(std::size_t bytes, std::uint32_t baud) {
    const std::uint64_t speed = baud != 0 ? baud : 9600;
    const std::uint64_t ms = (static_cast<std::uint64_t>(bytes) * 10 * 1000 + speed - 1) / speed;
    return std::chrono::milliseconds(static_cast<std::int64_t>(ms));
}

}  // namespace

std::chrono::milliseconds CommPort::writeDeadline(std::size_t bytes, std::uint32_t baud) {
    return wireTime(bytes, baud) * 2 + kWriteMargin;
}

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

void CommPort::failWrite(std::size_t sent, std::size_t length, bool cancelled) {
    m_WriteFailed.store(true);
    const std::string counts = std::to_string(sent) + " of " + std::to_string(length);
    const std::string reason =
        cancelled ? "The write was cancelled: " + counts + " bytes were sent"
                  : "The phone stopped taking data: " + counts + " bytes were sent";
    if (m_Trace)
        m_Trace->traceNote("write failed: " + reason);
    postLinkLost(reason);
}

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

void CommPort::close() {
    m_Connected.store(0);
    if (m_WakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(m_WakeFd, &one, sizeof one);
    }
    if (m_Watcher.joinable()) {
        if (m_Watcher.get_id() == std::this_thread::get_id()) {
            m_Watcher.detach();  // cannot happen from the watcher's own posts; be safe anyway
        } else {
            m_Watcher.join();
        }
    }
    if (m_Fd >= 0) {
        // Input only: the bytes we wrote are already on their way (the drain), and on a
        // pseudo-terminal an output purge can still discard what the peer has not read yet.
        ::tcflush(m_Fd, TCIFLUSH);
        if (m_Trace)
            m_Trace->traceNote("close " + m_DeviceName);
    }
    releaseDevice();
}

void CommPort::releaseDevice() {
    if (m_Fd >= 0) {
        ::ioctl(m_Fd, TIOCNXCL);
        ::flock(m_Fd, LOCK_UN);
        ::close(m_Fd);
        m_Fd = -1;
    }
    if (m_WakeFd >= 0) {
        ::close(m_WakeFd);
        m_WakeFd = -1;
    }
}

void CommPort::notifyData() {
    const int queued = m_QueueRead.count();
    if (queued == 0)
        return;
    const int frame = BlockMode.load();
    if (frame != 0 && queued < frame)
        return;
    postData();
}

CommPort::InputWait CommPort::inputWait() const {
    if (!m_SinkReads || m_Fd < 0 || m_InputEnded || !m_Connected.load())
        return {};
    return {m_Fd, m_QueueRead.freeSpace() == 0};
}

void CommPort::readInput(short events) {
    if (!m_SinkReads || m_Fd < 0 || m_InputEnded)
        return;
    const std::string lostReason = (events & POLLNVAL)
                                       ? std::string("the device was closed")
                                       : takeInput((events & (POLLHUP | POLLERR)) != 0);
    notifyData();
    if (!lostReason.empty()) {
        // A hung-up descriptor polls ready for ever: stop asking it, as the watcher would end.
        m_InputEnded = true;
        reportLost(lostReason);
    }
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

void CommPort::reportLost(const std::string& reason) {
    if (m_Trace)
        m_Trace->traceNote("link lost: " + reason);
    postLinkLost(reason);
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

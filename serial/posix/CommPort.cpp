#include "serial/CommPort.h"

#include <fcntl.h>
#include <linux/serial.h>
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
#include "serial/posix/LineSettings.h"

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

// Everything the POSIX port holds is in CommPort's own descriptors.
struct CommPort::SystemPort {};

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

bool CommPort::fail(OpenFailure::Kind kind, int error) {
    return fail(kind, std::error_code(error, std::generic_category()));
}

bool CommPort::fail(OpenFailure::Kind kind, std::error_code error) {
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
        return fail(OpenFailure::Kind::ThreadFailed, e.code());
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
        if (m_SinkReads)
            if (auto* sink = eventSink())
                sink->deviceClosing(*this, Waitable(m_Fd));
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

}  // namespace zrk

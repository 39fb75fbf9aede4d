#include "serial/CommPort.h"

#include <windows.h>

#include <algorithm>

#include "serial/ByteTrace.h"
#include "serial/win32/WindowsText.h"

// The port over a Windows COM device: opened exclusively for overlapped I/O, each direction
// with its own completion block and event, the receive watcher on WaitCommEvent(EV_RXCHAR),
// and the time-outs that make a read return at once with what the driver holds. A write waits
// in slices against its own deadline, so that a cancel (Ctrl-C, Stop) or a device that stops
// taking bytes ends it; the bytes the driver still holds at the deadline are not counted as
// sent.
namespace zrk {

namespace {

constexpr DWORD kDriverQueue = 8192;  // both directions
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// A receive event that the driver did not report (one that came between the last read and
// the next wait) is found by looking at the input queue this often.
constexpr DWORD kWatchLook = 50;

HANDLE manualEvent() {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void closeHandle(HANDLE& handle) {
    if (handle && handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(handle);
    handle = nullptr;
}

// A failure of a device that is gone (unplugged, its driver stopped).
bool deviceGone(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_REMOVED || error == ERROR_GEN_FAILURE ||
           error == ERROR_INVALID_HANDLE || error == ERROR_NOT_READY ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_FILE_NOT_FOUND;
}

}  // namespace

struct CommPort::SystemPort {
    HANDLE device = INVALID_HANDLE_VALUE;
    OVERLAPPED read{};        // readAvailable only (the watcher's thread)
    OVERLAPPED write{};       // write only (the protocol thread)
    OVERLAPPED watch{};       // the watcher's WaitCommEvent
    HANDLE wake = nullptr;    // close() ends the watcher's wait
    HANDLE cancel = nullptr;  // lives as long as the object: cancelWrites may come any time
    DWORD lastError = 0;

    bool open() const { return device != INVALID_HANDLE_VALUE; }
    // Bytes waiting in the driver's input (or output) queue; nullopt when the device failed.
    std::optional<COMSTAT> status() {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(device, &errors, &stat)) {
            lastError = ::GetLastError();
            return std::nullopt;
        }
        return stat;
    }
};

CommPort::CommPort(const PortMap& ports)
    : m_Ports(ports), m_System(std::make_unique<SystemPort>()) {
    m_System->cancel = manualEvent();
}

CommPort::~CommPort() {
    close();
    closeHandle(m_System->cancel);
}

// Windows' own error numbers (GetLastError), whose words the system category gives.
bool CommPort::fail(OpenFailure::Kind kind, int error) {
    return fail(kind, std::error_code(error, std::system_category()));
}

bool CommPort::fail(OpenFailure::Kind kind, std::error_code error) {
    m_LastFailure = {kind, error, m_DeviceName};
    releaseDevice();
    return false;
}

bool CommPort::setReadOnSinkThread(bool on) {
    // Overlapped waits belong to the thread that starts them: the watcher keeps reading.
    m_SinkReadsWanted = false;
    return !on;
}

CommPort::InputWait CommPort::inputWait() const {
    return {};
}

bool CommPort::readInput(WaitEvents) {
    return false;
}

bool CommPort::open(std::uint16_t portNumber, std::uint32_t baud) {
    if (m_Watcher.joinable() || m_System->open())
        close();
    SystemPort& s = *m_System;
    m_Connected.store(0);
    m_PortNumber = portNumber;
    m_DeviceName = m_Ports.device(portNumber);
    m_LastFailure = {};
    m_CancelWrites.store(false);
    if (s.cancel)
        ::ResetEvent(s.cancel);
    m_WriteFailed.store(false);
    m_SinkReads = false;
    m_InputEnded = false;

    s.read = {};
    s.write = {};
    s.watch = {};
    s.read.hEvent = manualEvent();
    s.write.hEvent = manualEvent();
    s.watch.hEvent = manualEvent();
    s.wake = manualEvent();
    if (!s.read.hEvent || !s.write.hEvent || !s.watch.hEvent || !s.wake)
        return fail(OpenFailure::Kind::Other, static_cast<int>(::GetLastError()));

    // COM10 and above open only through the device namespace; the map names them so already.
    const std::wstring path = win32::utf16Of(m_DeviceName);
    s.device = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (s.device == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const auto kind = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                              ? OpenFailure::Kind::NotFound
                          : (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                              ? OpenFailure::Kind::InUse
                              : OpenFailure::Kind::Other;
        return fail(kind, static_cast<int>(error));
    }
    if (::GetFileType(s.device) != FILE_TYPE_CHAR)
        return fail(OpenFailure::Kind::NotATerminal, ERROR_BAD_DEVICE);
    if (!::SetCommMask(s.device, EV_RXCHAR) || !::SetupComm(s.device, kDriverQueue, kDriverQueue))
        return fail(OpenFailure::Kind::NotATerminal, static_cast<int>(::GetLastError()));
    ::PurgeComm(s.device, kPurgeAll);
    // Reads return at once with what the driver holds; writes have no time-out of the
    // driver's (their deadline is ours).
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = baud != 0 ? 19200 / baud : 0;
    if (!::SetCommTimeouts(s.device, &timeouts))
        return fail(OpenFailure::Kind::LineRejected, static_cast<int>(::GetLastError()));
    // Bytes an earlier opening left unread belong to nobody. The watcher has been joined.
    m_QueueRead.reset();
    if (!applyLine(baud, 8, Parity::None, 0))
        return fail(OpenFailure::Kind::LineRejected, static_cast<int>(s.lastError));

    beginSession();
    m_Connected.store(1);
    try {
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
    SystemPort& s = *m_System;
    ::PurgeComm(s.device, kPurgeAll);
    DCB line{};
    line.DCBlength = sizeof line;
    if (!::GetCommState(s.device, &line)) {
        s.lastError = ::GetLastError();
        return false;
    }
    line.BaudRate = baud;
    line.ByteSize = static_cast<BYTE>(dataBits);
    line.Parity = parity == Parity::Even ? EVENPARITY : NOPARITY;
    line.StopBits = stopBits == 0 ? ONESTOPBIT : TWOSTOPBITS;
    line.fBinary = TRUE;
    line.fParity = parity != Parity::None;
    // The phone's side must not see DTR; and no flow control, as on Linux: a cable without
    // handshake lines would otherwise hold every byte.
    line.fDtrControl = DTR_CONTROL_DISABLE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fAbortOnError = FALSE;
    if (line.fRtsControl == RTS_CONTROL_HANDSHAKE || line.fRtsControl == RTS_CONTROL_TOGGLE)
        line.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::SetCommState(s.device, &line)) {
        s.lastError = ::GetLastError();
        return false;
    }
    m_Baud = baud;
    return true;
}

bool CommPort::setLineFormat(std::uint32_t baud, int dataBits, Parity parity, int stopBits) {
    if (!m_System->open())
        return false;
    const bool ok = applyLine(baud, dataBits, parity, stopBits);
    if (m_Trace) {
        m_Trace->traceNote("line " + std::to_string(baud) + " " + std::to_string(dataBits) +
                           (parity == Parity::Even ? "E1" : "N1") + (ok ? "" : " rejected"));
    }
    return ok;
}

void CommPort::close() {
    SystemPort& s = *m_System;
    m_Connected.store(0);
    if (s.wake)
        ::SetEvent(s.wake);
    // An empty event mask ends a WaitCommEvent in progress.
    if (s.open())
        ::SetCommMask(s.device, 0);
    if (m_Watcher.joinable()) {
        if (m_Watcher.get_id() == std::this_thread::get_id())
            m_Watcher.detach();
        else
            m_Watcher.join();
    }
    if (s.open()) {
        // Input only: the bytes written have been drained, and an output purge could still
        // discard what a slow reader on the other side has not taken yet.
        ::PurgeComm(s.device, PURGE_RXABORT | PURGE_RXCLEAR);
        if (m_Trace)
            m_Trace->traceNote("close " + m_DeviceName);
    }
    releaseDevice();
}

void CommPort::releaseDevice() {
    SystemPort& s = *m_System;
    if (s.open()) {
        ::CloseHandle(s.device);
        s.device = INVALID_HANDLE_VALUE;
    }
    closeHandle(s.read.hEvent);
    closeHandle(s.write.hEvent);
    closeHandle(s.watch.hEvent);
    closeHandle(s.wake);
}

void CommPort::cancelWrites() {
    m_CancelWrites.store(true);
    if (m_System && m_System->cancel)
        ::SetEvent(m_System->cancel);
}

long CommPort::readAvailable(std::uint8_t* buffer, std::size_t capacity) {
    SystemPort& s = *m_System;
    if (!s.open())
        return -1;
    const std::optional<COMSTAT> stat = s.status();
    if (!stat)
        return -1;
    if (stat->cbInQue == 0 || capacity == 0)
        return 0;
    DWORD got = 0;
    ::ResetEvent(s.read.hEvent);
    if (!::ReadFile(s.device, buffer, static_cast<DWORD>(capacity), &got, &s.read)) {
        if (::GetLastError() != ERROR_IO_PENDING ||
            !::GetOverlappedResult(s.device, &s.read, &got, TRUE)) {
            s.lastError = ::GetLastError();
            s.status();
            return -1;
        }
    }
    return static_cast<long>(got);
}

std::string CommPort::takeInput(bool /*hungUp*/) {
    std::uint8_t burst[kReadBurst];
    for (;;) {
        const int space = m_QueueRead.freeSpace();
        if (space == 0)
            return {};
        const std::size_t wanted =
            std::min<std::size_t>(kReadBurst, static_cast<std::size_t>(space));
        const long n = readAvailable(burst, wanted);
        if (n < 0)
            return win32::systemMessage(m_System->lastError);
        if (n == 0)
            return {};
        if (m_Trace)
            m_Trace->traceBlock(TraceDirection::PhoneToHost, burst, n);
        m_QueueRead.pushBlock(burst, static_cast<std::size_t>(n));
    }
}

void CommPort::ThreadWatchComm() {
    SystemPort& s = *m_System;
    std::string lostReason;
    bool waiting = false;  // a WaitCommEvent is outstanding
    DWORD events = 0;
    while (m_Connected.load() && lostReason.empty()) {
        // A full queue stops the reading, not the bytes: the driver holds them until the
        // protocol thread has made room.
        if (m_QueueRead.freeSpace() == 0) {
            ::WaitForSingleObject(s.wake, 5);
            continue;
        }
        // What came between the last read and this wait is read now, not at the next byte.
        const std::optional<COMSTAT> stat = s.status();
        if (!stat) {
            if (deviceGone(s.lastError))
                lostReason = "the device went away: " + win32::systemMessage(s.lastError);
            break;
        }
        if (stat->cbInQue > 0) {
            lostReason = takeInput(false);
            notifyData();
            continue;
        }
        if (!waiting) {
            events = 0;
            ::ResetEvent(s.watch.hEvent);
            if (::WaitCommEvent(s.device, &events, &s.watch)) {
                if (events & EV_RXCHAR) {
                    lostReason = takeInput(false);
                    notifyData();
                }
                continue;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) {
                if (!m_Connected.load())
                    break;
                lostReason = "waiting for input failed: " + win32::systemMessage(error);
                break;
            }
            waiting = true;
        }
        const HANDLE handles[2] = {s.wake, s.watch.hEvent};
        const DWORD woke = ::WaitForMultipleObjects(2, handles, FALSE, kWatchLook);
        if (woke == WAIT_OBJECT_0)
            break;  // close(): the loop test ends the thread
        if (woke == WAIT_TIMEOUT)
            continue;  // look at the queue again, the wait stays armed
        DWORD ignored = 0;
        waiting = false;
        if (!::GetOverlappedResult(s.device, &s.watch, &ignored, FALSE)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_INCOMPLETE) {
                // Signalled before the wait is marked done (Wine does this): it is still armed
                // and ours. A millisecond lets the mark catch up instead of spinning on it.
                waiting = true;
                ::Sleep(1);
                continue;
            }
            if (error == ERROR_OPERATION_ABORTED || !m_Connected.load())
                continue;
            lostReason = "the device went away: " + win32::systemMessage(error);
            break;
        }
        if (events & EV_RXCHAR) {
            lostReason = takeInput(false);
            notifyData();
        }
    }
    if (waiting) {
        ::CancelIoEx(s.device, &s.watch);
        DWORD ignored = 0;
        ::GetOverlappedResult(s.device, &s.watch, &ignored, TRUE);
    }
    if (!lostReason.empty() && m_Connected.load())
        reportLost(lostReason);
}

std::size_t CommPort::write(const std::uint8_t* data, std::size_t length) {
    SystemPort& s = *m_System;
    if (!s.open() || m_WriteFailed.load())
        return 0;
    if (length == 0)
        return 0;
    const Deadline deadline = std::chrono::steady_clock::now() + writeDeadline(length, m_Baud);
    bool cancelled = m_CancelWrites.load();
    bool failed = false;
    DWORD done = 0;
    if (!cancelled) {
        ::ResetEvent(s.write.hEvent);
        if (!::WriteFile(s.device, data, static_cast<DWORD>(length), &done, &s.write)) {
            if (::GetLastError() != ERROR_IO_PENDING) {
                failed = true;
            } else {
                // Slices against the deadline, judged by the steady clock: a wait may wake a
                // clock tick early.
                for (;;) {
                    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now());
                    if (left.count() <= 0) {
                        failed = true;
                        break;
                    }
                    const HANDLE handles[2] = {s.write.hEvent, s.cancel};
                    const DWORD slice = static_cast<DWORD>(std::min(left, kWriteSlice).count());
                    const DWORD woke = ::WaitForMultipleObjects(2, handles, FALSE, slice);
                    if (woke == WAIT_OBJECT_0)
                        break;
                    if (woke == WAIT_OBJECT_0 + 1 || m_CancelWrites.load()) {
                        cancelled = true;
                        break;
                    }
                }
                if (failed || cancelled)
                    ::CancelIoEx(s.device, &s.write);
                // What left before the cancel still counts.
                if (!::GetOverlappedResult(s.device, &s.write, &done, TRUE) && !cancelled)
                    failed = true;
            }
        }
    }
    if (m_Trace && done)
        m_Trace->traceBlock(TraceDirection::HostToPhone, data, done);
    std::size_t sent = done;
    bool drained = true;
    if (!failed && !cancelled && done == length) {
        if (const auto held = drainOutput(deadline, cancelled)) {
            sent = done - std::min<std::size_t>(*held, done);
            drained = false;
        }
    }
    if (sent < length || !drained || failed) {
        s.status();  // clears the device's error state, as a failed transfer leaves it
        failWrite(sent, length, cancelled);
    }
    return sent;
}

std::optional<std::size_t> CommPort::drainOutput(Deadline deadline, bool& cancelled) {
    // The write completes when the driver has taken the bytes; what it still holds is in its
    // output queue, which goes out at the line's speed.
    SystemPort& s = *m_System;
    for (;;) {
        const std::optional<COMSTAT> stat = s.status();
        if (!stat || stat->cbOutQue == 0)
            return std::nullopt;
        const std::size_t held = stat->cbOutQue;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return held;
        const auto pause = std::min(
            {left, kWriteSlice, std::max(std::chrono::milliseconds(1), wireTime(held, m_Baud))});
        if (::WaitForSingleObject(s.cancel, static_cast<DWORD>(pause.count())) == WAIT_OBJECT_0 ||
            m_CancelWrites.load()) {
            cancelled = true;
            return held;
        }
    }
}

}  // namespace zrk

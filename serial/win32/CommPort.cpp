#include "serial/CommPort.h"

#include <windows.h>

#include "serial/ByteTrace.h"
#include "serial/win32/SystemPort.h"
#include "serial/win32/WindowsText.h"

// The port over a Windows COM device: opened exclusively for overlapped I/O, each direction
// with its own completion block and event, and the time-outs that make a read return at once
// with what the driver holds; its line format; and its closing.
namespace zrk {

namespace {

constexpr DWORD kDriverQueue = 8192;  // both directions
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

HANDLE manualEvent() {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void closeHandle(HANDLE& handle) {
    if (handle && handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

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

}  // namespace zrk

#include "serial/CommPort.h"

#include <windows.h>

#include <algorithm>

#include "serial/ByteTrace.h"
#include "serial/win32/SystemPort.h"
#include "serial/win32/WindowsText.h"

// Reading from the port: the watcher thread on WaitCommEvent(EV_RXCHAR), and the reads that
// return at once with what the driver holds, into the receive queue. The sink's thread never
// reads here: overlapped waits belong to the thread that starts them.
namespace zrk {

namespace {

// A receive event that the driver did not report (one that came between the last read and
// the next wait) is found by looking at the input queue this often.
constexpr DWORD kWatchLook = 50;

// A failure of a device that is gone (unplugged, its driver stopped).
bool deviceGone(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_REMOVED || error == ERROR_GEN_FAILURE ||
           error == ERROR_INVALID_HANDLE || error == ERROR_NOT_READY ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_FILE_NOT_FOUND;
}

}  // namespace

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

}  // namespace zrk

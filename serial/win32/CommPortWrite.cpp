#include "serial/CommPort.h"

#include <windows.h>

#include <algorithm>

#include "serial/ByteTrace.h"
#include "serial/win32/SystemPort.h"

// Writing to the port: in slices against the write's own deadline, so that a cancel (Ctrl-C,
// Stop) or a device that stops taking bytes ends it, with the bytes the driver still holds at
// the deadline taken off what counts as sent.
namespace zrk {

void CommPort::cancelWrites() {
    m_CancelWrites.store(true);
    if (m_System && m_System->cancel)
        ::SetEvent(m_System->cancel);
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

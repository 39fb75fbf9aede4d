#pragma once
// What the Windows port holds of the system's, shared by its opening, reading and writing.
#include <windows.h>

#include <optional>

#include "serial/CommPort.h"

namespace zrk {

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

}  // namespace zrk

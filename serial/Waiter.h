#pragma once
// One thread waiting on several devices at once, woken early by another thread or a signal
// handler. A wait looks only at what became ready (a terminal's look can stall on its worker
// thread, so looking at every device on every wake-up costs a fast line a tenth of its time).
#include <cstdint>
#include <memory>
#include <span>

#include "serial/Waitable.h"

namespace zrk {

class Waiter {
  public:
    struct Ready {
        std::uint64_t tag = 0;
        WaitEvents events;  // what SerialLink::readInput is told
    };

    // Throws std::runtime_error when the system gives no wait set.
    Waiter();
    ~Waiter();
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // Any thread, and signal handlers: the current or next wait returns.
    void wake();
    // Input on the device is reported under tag (not 0). False when the system will not
    // watch it: a regular file, which is always ready.
    bool watch(Waitable device, std::uint64_t tag);
    // The device may be closed already, or its number reused; then nothing happens.
    void unwatch(Waitable device);
    // Waits at most timeoutMs (-1: for ever) and fills ready with what became ready; a wake-up
    // is taken here and not reported. The count, 0 after a signal; -1 when the wait failed.
    int wait(std::span<Ready> ready, int timeoutMs);

  private:
    // The system's wake-up and wait set, as each system keeps them (serial/<platform>/Waiter).
    struct System;
    std::unique_ptr<System> m_System;
};

}  // namespace zrk

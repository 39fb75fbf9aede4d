#pragma once
// One thread waiting on several devices at once, woken early by another thread or a signal
// handler. A wait looks only at what became ready (a terminal's look can stall on its worker
// thread, so looking at every device on every wake-up costs a fast line a tenth of its time).
#include <cstdint>
#include <span>

namespace zrk {

class Waiter {
  public:
    struct Ready {
        std::uint64_t tag = 0;
        short events = 0;  // in the bits SerialLink::readInput takes
    };
    // What readInput is told of a device that is always ready.
    static const short kReadable;

    // Throws std::runtime_error when the system gives no wait set.
    Waiter();
    ~Waiter();
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // Any thread, and signal handlers: the current or next wait returns.
    void wake();
    // Input on the descriptor is reported under tag (not 0). False when the system will not
    // watch it: a regular file, which is always ready.
    bool watch(int descriptor, std::uint64_t tag);
    // The descriptor may be closed already, or reused; then nothing happens.
    void unwatch(int descriptor);
    // Waits at most timeoutMs (-1: for ever) and fills ready with what became ready; a wake-up
    // is taken here and not reported. The count, 0 after a signal; -1 when the wait failed.
    int wait(std::span<Ready> ready, int timeoutMs);

  private:
    int m_WakeHandle = -1;
    int m_SetHandle = -1;
};

}  // namespace zrk

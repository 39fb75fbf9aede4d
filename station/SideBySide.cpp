#include "station/SideBySide.h"

#include <atomic>
#include <thread>
#include <vector>

#include "serial/InterruptSource.h"
#include "serial/Waiter.h"

namespace zrk::station {

void serveSideBySide(std::size_t ports, StopSignal& stop,
                     const std::function<void(std::size_t port)>& servePort) {
    Waiter waiter;
    std::atomic<std::size_t> running{ports};
    // The handler only wakes this thread; the ports hear of it through the stop.
    InterruptSource signals(true);
    constexpr std::uint64_t kSignalTag = 1;
    waiter.watch(signals.waitable(), kSignalTag);
    std::vector<std::thread> threads;
    threads.reserve(ports);
    for (std::size_t port = 0; port < ports; ++port) {
        threads.emplace_back([&, port] {
            servePort(port);
            running.fetch_sub(1);
            waiter.wake();
        });
    }
    while (running.load() > 0) {
        Waiter::Ready ready[2];
        const int n = waiter.wait(ready, -1);
        if (n < 0)
            break;
        if (n > 0 && ready[0].tag == kSignalTag) {
            signals.drain();
            stop.raise();
        }
    }
    for (auto& thread : threads)
        thread.join();
}

}  // namespace zrk::station

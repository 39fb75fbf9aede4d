// Ports served side by side really run at once (one slow phone must not hold up the others),
// and a Ctrl-C that lands on any thread reaches every port.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "station/SideBySide.h"

namespace zrk::station {
namespace {

using namespace std::chrono_literals;

// Spins until done() or a few seconds went by; whether done() came.
template <class Done>
bool within(Done done) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(SideBySide, EveryPortRunsAtOnceAndTheCallReturnsAfterTheLast) {
    constexpr std::size_t kPorts = 4;
    StopSignal stop;
    std::atomic<std::size_t> arrived{0}, ended{0};
    std::atomic<bool> allMet[kPorts] = {};
    serveSideBySide(kPorts, stop, [&](std::size_t port) {
        // Served one after another, the first port would wait here for the others in vain.
        arrived.fetch_add(1);
        allMet[port] = within([&] { return arrived.load() == kPorts; });
        ended.fetch_add(1);
    });
    EXPECT_EQ(ended.load(), kPorts);
    for (const auto& met : allMet)
        EXPECT_TRUE(met.load());
    EXPECT_FALSE(stop.raised());
}

#ifndef _WIN32
TEST(SideBySide, AnInterruptRaisesTheStopForEveryPort) {
    constexpr std::size_t kPorts = 3;
    StopSignal stop;
    std::atomic<std::size_t> stopped{0};
    serveSideBySide(kPorts, stop, [&](std::size_t port) {
        if (port == 0)
            std::raise(SIGINT);
        if (within([&] { return stop.raised(); }))
            stopped.fetch_add(1);
    });
    EXPECT_EQ(stopped.load(), kPorts);
}
#endif

}  // namespace
}  // namespace zrk::station

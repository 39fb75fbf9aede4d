// A stop reaches every port's loop, also one that registers after the stop came: a port that
// got going late must not wait on for ever.
#include <gtest/gtest.h>

#include <chrono>

#include "engine/EngineLoop.h"
#include "serial/CommPort.h"
#include "station/StopSignal.h"

namespace zrk::station {
namespace {

using std::chrono::milliseconds;

EngineLoop::RunResult waitUntilStopped(EngineLoop& loop, const StopSignal& stop) {
    return loop.runUntil([] { return false; }, milliseconds(0), [&] { return stop.raised(); });
}

TEST(StopSignal, EndsTheWaitOfEveryPortAndOfOneThatRegistersAfterTheStop) {
    PortMap ports;
    CommPort firstPort(ports), secondPort(ports);
    EngineLoop first, second;
    StopSignal stop;
    {
        const StopSignal::Registration early(stop, first, firstPort);
        stop.raise();
        EXPECT_EQ(waitUntilStopped(first, stop), EngineLoop::RunResult::Interrupted);
        // Registered too late to be among those the stop woke: it is woken as it registers.
        const StopSignal::Registration late(stop, second, secondPort);
        EXPECT_EQ(waitUntilStopped(second, stop), EngineLoop::RunResult::Interrupted);
    }
}

}  // namespace
}  // namespace zrk::station

#include "engine/EngineLoop.h"

#include <gtest/gtest.h>

#include <thread>

namespace zrk {
namespace {

using namespace std::chrono_literals;

TEST(EngineLoop, DeliversWatcherNewsOnItsOwnThreadInOrder) {
    EngineLoop loop;
    std::vector<std::string> seen;
    const auto loopThread = std::this_thread::get_id();
    bool sameThread = true;
    loop.onData = [&] {
        sameThread &= std::this_thread::get_id() == loopThread;
        seen.push_back("data");
    };
    loop.onLinkLost = [&](const std::string& r) { seen.push_back("lost:" + r); };
    loop.onMessage = [&](const std::string& m) { seen.push_back("msg:" + m); };
    std::thread watcher([&] {
        loop.postDataReceived(1);
        loop.postDataReceived(1);  // coalesced with the first
        loop.postMessage("Fail!!");
        loop.postLinkLost(1, "gone");
    });
    watcher.join();
    const auto result = loop.runUntil([&] { return seen.size() >= 3; }, 5s);
    EXPECT_EQ(result, EngineLoop::RunResult::Done);
    EXPECT_TRUE(sameThread);
    EXPECT_EQ(seen, (std::vector<std::string>{"msg:Fail!!", "data", "lost:gone"}));
}

TEST(EngineLoop, FiresTheTimerOnceAfterItsDelay) {
    EngineLoop loop;
    int fired = 0;
    loop.onTimer = [&] { ++fired; };
    const auto started = EngineLoop::Clock::now();
    loop.startTimer(100);
    EXPECT_EQ(loop.runUntil([&] { return fired > 0; }, 0ms), EngineLoop::RunResult::Done);
    EXPECT_GE(EngineLoop::Clock::now() - started, 100ms);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(loop.timerRunning());
}

TEST(EngineLoop, ReportsASilentPhone) {
    EngineLoop loop;
    EXPECT_EQ(loop.runUntil([] { return false; }, 50ms), EngineLoop::RunResult::Silent);
}

TEST(EngineLoop, AWakeUpLetsTheCallerInterrupt) {
    EngineLoop loop;
    std::atomic<bool> stop{false};
    std::thread signaller([&] {
        std::this_thread::sleep_for(20ms);
        stop = true;
        loop.wake();
    });
    EXPECT_EQ(loop.runUntil([] { return false; }, 0ms, [&] { return stop.load(); }),
              EngineLoop::RunResult::Interrupted);
    signaller.join();
}

}  // namespace
}  // namespace zrk

#include "engine/EngineLoop.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <thread>

#include "serial/CommPort.h"
#include "serial/PortMap.h"
#ifndef _WIN32
#include "serial/PseudoTerminal.h"
#endif
#include "support/FakeLink.h"

namespace zrk {
namespace {

using namespace std::chrono_literals;

// Records what reaches the top of a link's owner stack, and on which thread.
class RecordingHandler : public LinkHandler {
  public:
    explicit RecordingHandler(std::string name) : m_Name(std::move(name)) {}
    void onLinkData() override {
        sameThread &= std::this_thread::get_id() == m_Thread;
        seen->push_back(m_Name + ":data");
    }
    void onLinkLost(const std::string& reason) override {
        seen->push_back(m_Name + ":lost:" + reason);
    }
    std::vector<std::string>* seen = nullptr;
    bool sameThread = true;

  private:
    std::string m_Name;
    std::thread::id m_Thread = std::this_thread::get_id();
};

TEST(EngineLoop, DeliversWatcherNewsOnItsOwnThreadInOrder) {
    test::FakeLink link;
    EngineLoop loop;
    loop.attach(link);
    std::vector<std::string> seen;
    RecordingHandler engine("engine");
    engine.seen = &seen;
    link.pushHandler(engine);
    ASSERT_TRUE(link.open(1, 115200));
    std::thread watcher([&] {
        loop.postLinkData(link);
        loop.postLinkData(link);  // coalesced with the first
        loop.postLinkLost(link, link.session(), "gone");
        loop.postLinkLost(link, link.session() - 1, "stale");  // from an earlier opening
    });
    watcher.join();
    const auto result = loop.runUntil([&] { return seen.size() >= 2; }, 5s);
    EXPECT_EQ(result, EngineLoop::RunResult::Done);
    EXPECT_TRUE(engine.sameThread);
    EXPECT_EQ(seen, (std::vector<std::string>{"engine:data", "engine:lost:gone"}));
}

TEST(EngineLoop, NewsGoesToTheTopOfTheLinksOwnStackAndTwoLinksDoNotMeet) {
    test::FakeLink first, second;
    EngineLoop loop;
    loop.attach(first);
    loop.attach(second);
    std::vector<std::string> seen;
    RecordingHandler main("main"), explorer("explorer"), other("other");
    main.seen = explorer.seen = other.seen = &seen;
    first.pushHandler(main);
    second.pushHandler(other);

    first.pushHandler(explorer);  // the explorer takes the first link over
    loop.postLinkData(first);
    loop.runUntil([&] { return seen.size() >= 1; }, 5s);
    first.popHandler(explorer);  // and gives it back
    loop.postLinkData(first);
    loop.postLinkData(second);
    loop.runUntil([&] { return seen.size() >= 3; }, 5s);
    EXPECT_EQ(seen, (std::vector<std::string>{"explorer:data", "main:data", "other:data"}));
}

TEST(EngineLoop, NewsPostedWhileADispatchRunsIsHeardWithoutAWakeUp) {
    // A write that fails inside a handler posts the loss on the loop's own thread, which skips
    // the wake-up: the loop must still look at once rather than sleep until the silence limit.
    test::FakeLink link;
    EngineLoop loop;
    loop.attach(link);
    std::vector<std::string> seen;
    struct LosesTheLinkOnData : RecordingHandler {
        using RecordingHandler::RecordingHandler;
        void onLinkData() override {
            RecordingHandler::onLinkData();
            loop->postLinkLost(*link, link->session(), "stopped taking data");
        }
        EngineLoop* loop = nullptr;
        SerialLink* link = nullptr;
    } engine("engine");
    engine.seen = &seen;
    engine.loop = &loop;
    engine.link = &link;
    link.pushHandler(engine);
    ASSERT_TRUE(link.open(1, 115200));
    // The timer runs on the loop's thread too, so nothing here writes the wake-up descriptor.
    loop.onTimer = [&] { loop.postLinkData(link); };
    loop.startTimer(1);
    const auto started = EngineLoop::Clock::now();
    EXPECT_EQ(loop.runUntil([&] { return seen.size() >= 2; }, 20s), EngineLoop::RunResult::Done);
    // Unheard, each post would wait out the silence limit, which runs from the last dispatch.
    EXPECT_LT(EngineLoop::Clock::now() - started, 10s);
    EXPECT_EQ(seen, (std::vector<std::string>{"engine:data", "engine:lost:stopped taking data"}));
}

// Descriptor numbers come back on reopening only where ports are descriptors; the phone end is
// a pseudo-terminal, which Windows has not.
#ifndef _WIN32
TEST(EngineLoop, ReadsAReopenedPortThatGotItsOldDescriptorBack) {
    // A port closed and opened again (the baud switch) usually gets the same descriptor number;
    // the old device's registration went with its close, and the loop must wait on the new one.
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    PortMap ports;
    ports.setDevice(1, pty.slavePath());
    CommPort port(ports);
    EngineLoop loop;
    loop.attach(port);
    std::vector<std::string> seen;
    RecordingHandler engine("engine");
    engine.seen = &seen;
    port.pushHandler(engine);
    for (std::size_t opening = 1; opening <= 3; ++opening) {
        ASSERT_TRUE(port.open(1, 115200));
        const std::uint8_t byte = 0x4F;
        ASSERT_EQ(::write(pty.masterFd(), &byte, 1), 1);
        EXPECT_EQ(loop.runUntil([&] { return seen.size() >= opening; }, 20s),
                  EngineLoop::RunResult::Done)
            << "opening " << opening;
        port.close();
    }
}

TEST(EngineLoop, LettingGoOfAClosedPortLeavesTheDeviceThatGotItsNumberWatched) {
    // A closed port's descriptor number goes to the next file opened, here another port of the
    // same loop. Removing the closed port's registration by number afterwards would remove the
    // other port's, and its phone would go unheard.
    PseudoTerminal firstPty;
    PseudoTerminal secondPty;
    ASSERT_TRUE(firstPty.open());
    ASSERT_TRUE(secondPty.open());
    PortMap ports;
    ports.setDevice(1, firstPty.slavePath());
    ports.setDevice(2, secondPty.slavePath());
    CommPort first(ports);
    CommPort second(ports);
    EngineLoop loop;
    // The second is attached first, so that each wait registers it before it looks at the first.
    loop.attach(second);
    loop.attach(first);
    std::vector<std::string> seen;
    RecordingHandler firstEngine("first");
    RecordingHandler secondEngine("second");
    firstEngine.seen = &seen;
    secondEngine.seen = &seen;
    first.pushHandler(firstEngine);
    second.pushHandler(secondEngine);
    const std::uint8_t byte = 0x4F;
    ASSERT_TRUE(first.open(1, 115200));
    ASSERT_EQ(::write(firstPty.masterFd(), &byte, 1), 1);
    ASSERT_EQ(loop.runUntil([&] { return !seen.empty(); }, 20s), EngineLoop::RunResult::Done);
    first.close();
    ASSERT_TRUE(second.open(2, 115200));
    // The loop waits once with the second port registered before the first is let go of.
    loop.startTimer(1);
    bool fired = false;
    loop.onTimer = [&] { fired = true; };
    ASSERT_EQ(loop.runUntil([&] { return fired; }, 20s), EngineLoop::RunResult::Done);
    loop.detach(first);
    ASSERT_EQ(::write(secondPty.masterFd(), &byte, 1), 1);
    EXPECT_EQ(loop.runUntil([&] { return seen.size() >= 2; }, 5s), EngineLoop::RunResult::Done);
    EXPECT_EQ(seen, (std::vector<std::string>{"first:data", "second:data"}));
    second.close();
}
#endif

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

// Drains what the link queued and, when told to, takes it as the reply it waited for.
class DrainingHandler : public LinkHandler {
  public:
    explicit DrainingHandler(SerialLink& link) : m_Link(link) {}
    void onLinkData() override {
        std::uint8_t byte = 0;
        while (m_Link.receiveQueue().pop(byte))
            ++bytes;
        if (accepts)
            m_Link.noteReplyAccepted();
        // Later than the start of any wait that dispatched us, on every clock.
        std::this_thread::sleep_for(1ms);
        handledAt = EngineLoop::Clock::now();
    }
    void onLinkLost(const std::string&) override {}
    bool accepts = false;
    std::size_t bytes = 0;
    EngineLoop::Clock::time_point handledAt{};

  private:
    SerialLink& m_Link;
};

// A device that talks without end on its own thread, until told to stop or for 20 s at most.
class Babbler {
  public:
    Babbler(test::FakeLink& link, EngineLoop& loop)
        : m_Thread([this, &link, &loop] {
              const auto end = std::chrono::steady_clock::now() + 20s;
              while (!m_Stop && std::chrono::steady_clock::now() < end) {
                  link.queue.push(0x24);
                  loop.postLinkData(link);
                  std::this_thread::sleep_for(2ms);
              }
          }) {}
    ~Babbler() {
        m_Stop = true;
        m_Thread.join();
    }

  private:
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
};

TEST(EngineLoop, BytesNoExchangeTookDoNotHoldOffTheSilenceLimit) {
    test::FakeLink link;
    EngineLoop loop;
    loop.attach(link);
    DrainingHandler handler(link);
    link.pushHandler(handler);
    ASSERT_TRUE(link.open(1, 115200));
    Babbler babbler(link, loop);
    const auto started = EngineLoop::Clock::now();
    EXPECT_EQ(loop.runUntil([] { return false; }, 200ms), EngineLoop::RunResult::Silent);
    // The babble goes on for 20 s: ending well before is the limit's doing.
    EXPECT_LT(EngineLoop::Clock::now() - started, 10s);
}

TEST(EngineLoop, TheSilenceLimitRunsFromTheLastAcceptedReply) {
    test::FakeLink link;
    EngineLoop loop;
    loop.attach(link);
    DrainingHandler handler(link);
    link.pushHandler(handler);
    ASSERT_TRUE(link.open(1, 115200));

    // An ignored byte leaves the mark where the wait began; an accepted one moves it past the
    // moment the handler took it.
    link.receive({0x00});
    loop.postLinkData(link);
    EXPECT_EQ(loop.runUntil([&] { return handler.bytes == 1; }, 5s), EngineLoop::RunResult::Done);
    EXPECT_LT(loop.lastProgress(), handler.handledAt);
    handler.accepts = true;
    link.receive({0x01});
    loop.postLinkData(link);
    EXPECT_EQ(loop.runUntil([&] { return handler.bytes == 2; }, 5s), EngineLoop::RunResult::Done);
    EXPECT_GE(loop.lastProgress(), handler.handledAt);

    // A wait that follows a silent one goes on from the same mark: the two end within one
    // limit, not two.
    const auto started = EngineLoop::Clock::now();
    EXPECT_EQ(loop.runUntil([] { return false; }, 3s), EngineLoop::RunResult::Silent);
    const auto mark = loop.lastProgress();
    EXPECT_EQ(loop.runUntil([] { return false; }, 3s, {}, EngineLoop::SilenceFrom::LastReply),
              EngineLoop::RunResult::Silent);
    EXPECT_EQ(loop.lastProgress(), mark);
    // Two whole limits would be 6 s at the least.
    EXPECT_LT(EngineLoop::Clock::now() - started, 5900ms);
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

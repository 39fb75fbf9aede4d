// The receive frame: which bytes reach which phase, and when a dump block is taken.
#include <gtest/gtest.h>

#include "loader/LoaderPhase.h"
#include "loader/LoaderStates.h"
#include "protocol/ProtocolEngine.h"
#include "support/EngineProbe.h"
#include "support/FakeLink.h"
#include "support/RecordingView.h"

namespace zrk {
namespace {

class Frame : public ::testing::Test {
  protected:
    test::FakeLink link;
    test::RecordingView view;
    ProtocolEngine engine{link, view};
};

TEST_F(Frame, AnEmptyQueueDoesNothing) {
    EngineProbe::context(engine).setState(IDLE);
    engine.onDataReceived();
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
}

TEST_F(Frame, IdleInTheLoaderPhaseConsumesAndDropsEverything) {
    EngineProbe::context(engine).setLoaderReady(true);
    EngineProbe::context(engine).setState(IDLE);
    link.receive({1, 2, 3, 0xD9, 0xFF});
    engine.onDataReceived();
    EXPECT_EQ(link.queue.count(), 0);
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
}

TEST_F(Frame, ADumpBlockIsTakenOnlyWhenAllOfItIsQueued) {
    EngineProbe::context(engine).setLoaderReady(true);
    EngineProbe::context(engine).setState(stateNumber(loader::LoaderState::WAIT_DUMP_BLOCK));
    EngineProbe::context(engine).enterPhase(EngineProbe::loaderPhase(engine));
    EngineProbe::context(engine).requestFrame(loader::kDumpFrameSize);
    EXPECT_EQ(link.frameSize, 8193u);  // the watcher waits for the whole frame too
    link.receive(std::vector<std::uint8_t>(8192, 0x11));
    engine.onDataReceived();
    EXPECT_EQ(link.queue.count(), 8192);  // waits for the checksum byte
    EXPECT_TRUE(link.blockMode);
    EXPECT_TRUE(view.messages.empty());
    link.receive({0x01});  // the block's sum is 00h: the dump step sees the whole frame
    engine.onDataReceived();
    EXPECT_EQ(link.queue.count(), 0);
    EXPECT_FALSE(link.blockMode);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Checksum mismatched!"});
}

TEST_F(Frame, OperationsBeginWithTheStartCommandAndFinishUnlocked) {
    EngineProbe::context(engine).setLoaderReady(true);
    EngineProbe::context(engine).setState(IDLE);
    EngineProbe::context(engine).beginOperation(OP_ERASE);
    EXPECT_EQ(EngineProbe::context(engine).state(), WAIT_START_REPLY);
    EXPECT_EQ(EngineProbe::context(engine).operationKind(), OP_ERASE);
    EXPECT_EQ(link.written, std::vector<std::uint8_t>{CMD_START});
    EngineProbe::context(engine).finishOperation();
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_EQ(view.events, (std::vector<std::string>{"lock", "finish"}));
}

TEST_F(Frame, StopClosesTheLinkAndReturnsToTheUnconnectedLayout) {
    link.connected = true;
    EngineProbe::context(engine).setLoaderReady(true);
    EngineProbe::context(engine).setState(stateNumber(loader::LoaderState::WAIT_ERASE));
    view.flashName = "X";
    engine.stop();
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(EngineProbe::context(engine).loaderReady(), 0);
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_EQ(view.log, "\r\n** Close COM port\r\n");
    EXPECT_EQ(view.flashName, "");
    EXPECT_EQ(view.events.back(), "stopped");
    // A second Stop with the port closed does nothing.
    view.log.clear();
    engine.stop();
    EXPECT_TRUE(view.log.empty());
}

TEST_F(Frame, StopEndsABaudSwitchThatIsStillRetrying) {
    EngineProbe::context(engine).startBaudTimer(500);
    ASSERT_TRUE(view.timerRunning);
    engine.stop();
    EXPECT_FALSE(view.timerRunning);
    EXPECT_EQ(view.events.back(), "stopped");
}

TEST_F(Frame, ALostLinkIsLoggedAndStopped) {
    link.connected = true;
    engine.onLinkLost("the device hung up");
    EXPECT_NE(view.log.find("Lost the connection to the phone (the device hung up)"),
              std::string::npos);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(view.events.back(), "stopped");
}

}  // namespace
}  // namespace zrk

// The reply pump against a scripted reader: what a drain hands over, when a frame is whole, what
// becomes of bytes that came before a frame request, and which deliveries count as replies.
#include <gtest/gtest.h>

#include <functional>

#include "engine/ReplyPump.h"
#include "support/FakeLink.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ScriptedReader : public ReplyReader {
  public:
    std::size_t frameWanted() const override { return wanted; }
    bool takeByte(std::uint8_t byte) override {
        bytes.push_back(byte);
        if (onByte)
            onByte(byte);
        return acceptBytes;
    }
    void takeFrame(std::span<const std::uint8_t> frame) override {
        wanted = 0;  // as every reader does: the request is over
        frames.emplace_back(frame.begin(), frame.end());
        if (onFrame)
            onFrame();
    }
    bool reading() const override { return open; }

    std::size_t wanted = 0;
    bool acceptBytes = true;
    bool open = true;
    Bytes bytes;
    std::vector<Bytes> frames;
    std::function<void(std::uint8_t)> onByte;
    std::function<void()> onFrame;
};

// The owner below a reader that gives the link back: it counts what reaches it.
class Below : public LinkHandler {
  public:
    void onLinkData() override {
        std::uint8_t byte = 0;
        while (link->receiveQueue().pop(byte))
            bytes.push_back(byte);
    }
    void onLinkLost(const std::string&) override {}
    SerialLink* link = nullptr;
    Bytes bytes;
};

class ReplyPumpTest : public ::testing::TestWithParam<ReplyPump::EarlyBytes> {
  protected:
    test::FakeLink link;
    ScriptedReader reader;
    ReplyPump pump{link, reader, GetParam()};
};

TEST_P(ReplyPumpTest, AFrameIsHandedOverWholeOnlyOnceAllOfItIsQueued) {
    reader.wanted = 4;
    link.receive({1, 2, 3});
    pump.drain();
    EXPECT_TRUE(reader.frames.empty());
    EXPECT_TRUE(reader.bytes.empty());
    EXPECT_EQ(link.queue.count(), 3);  // left for the next notification, not read as garbage
    link.receive({4, 9});
    pump.drain();
    ASSERT_EQ(reader.frames.size(), 1u);
    EXPECT_EQ(reader.frames[0], (Bytes{1, 2, 3, 4}));
    // The frame's reader asked for nothing more: what follows comes as single bytes, in the
    // same drain (left queued, it would answer whatever is asked next).
    EXPECT_EQ(reader.bytes, Bytes{9});
    EXPECT_EQ(link.queue.count(), 0);
}

TEST_P(ReplyPumpTest, FramesAlwaysCountAsRepliesAndBytesOnlyWhenTheReaderTookThem) {
    reader.acceptBytes = false;
    link.receive({0, 0, 0});
    pump.drain();
    EXPECT_EQ(reader.bytes.size(), 3u);
    EXPECT_EQ(link.repliesAccepted(), 0u);  // noise keeps the silence limit running
    reader.acceptBytes = true;
    link.receive({7});
    pump.drain();
    EXPECT_EQ(link.repliesAccepted(), 1u);
    reader.wanted = 2;
    link.receive({5, 6});
    pump.drain();
    EXPECT_EQ(link.repliesAccepted(), 2u);
}

INSTANTIATE_TEST_SUITE_P(BothRules, ReplyPumpTest,
                         ::testing::Values(ReplyPump::EarlyBytes::Dropped,
                                           ReplyPump::EarlyBytes::KeptForFrame));

class ReplyPumpRules : public ::testing::Test {
  protected:
    test::FakeLink link;
    ScriptedReader reader;
};

TEST_F(ReplyPumpRules, AReaderThatGivesTheLinkBackPassesTheRestToTheOwnerBelow) {
    ReplyPump pump{link, reader, ReplyPump::EarlyBytes::KeptForFrame};
    Below below;
    below.link = &link;
    link.pushHandler(below);
    reader.onByte = [&](std::uint8_t byte) {
        if (byte == 0xE4)
            reader.open = false;  // the closing reply
    };
    link.receive({0x01, 0xE4, 0x55, 0x66});
    pump.drain();
    EXPECT_EQ(reader.bytes, (Bytes{0x01, 0xE4}));
    EXPECT_EQ(below.bytes, (Bytes{0x55, 0x66}));
    link.popHandler(below);
}

TEST_F(ReplyPumpRules, BytesQueuedBeforeAFrameRequestAreDroppedOrBeginTheFrame) {
    // The byte 0xC1 asks for a frame of 3; the rest of the drain was queued before that.
    const auto askOnAck = [&](std::uint8_t byte) {
        if (byte == 0xC1)
            reader.wanted = 3;
    };
    {
        ReplyPump pump{link, reader, ReplyPump::EarlyBytes::Dropped};
        reader.onByte = askOnAck;
        link.receive({0xC1, 1, 2, 3});
        pump.drain();
        EXPECT_EQ(reader.bytes, Bytes{0xC1});
        EXPECT_TRUE(reader.frames.empty());
        EXPECT_EQ(link.queue.count(), 0);
    }
    reader = {};
    {
        ReplyPump pump{link, reader, ReplyPump::EarlyBytes::KeptForFrame};
        reader.onByte = askOnAck;
        link.receive({0xC1, 1, 2, 3, 4});
        pump.drain();
        EXPECT_EQ(reader.bytes, (Bytes{0xC1, 4}));
        ASSERT_EQ(reader.frames.size(), 1u);
        EXPECT_EQ(reader.frames[0], (Bytes{1, 2, 3}));
    }
}

TEST_F(ReplyPumpRules, ADrainTakesOnlyWhatWasQueuedWhenItBeganUnlessARequestIsLowered) {
    ReplyPump pump{link, reader, ReplyPump::EarlyBytes::KeptForFrame};
    // A reply that brings the next one at once (a page after its acknowledgement): it waits
    // for the next notification, so a long dump lets a front end have its turn.
    reader.onByte = [&](std::uint8_t byte) {
        if (byte == 1)
            link.receive({2});
    };
    link.receive({1});
    pump.drain();
    EXPECT_EQ(reader.bytes, Bytes{1});
    EXPECT_EQ(link.queue.count(), 1);
    pump.drain();
    EXPECT_EQ(reader.bytes, (Bytes{1, 2}));

    // The watcher was told to wait for 8 bytes, so bytes read meanwhile brought no
    // notification. Lowering the request takes them in this drain.
    reader = {};
    pump.followFrameRequest(8);
    EXPECT_EQ(link.frameSize, 8u);
    reader.onByte = [&](std::uint8_t byte) {
        if (byte == 0xAA) {
            link.receive({5, 6, 7});
            pump.followFrameRequest(0);
        }
    };
    link.receive({0xAA});
    pump.drain();
    EXPECT_EQ(reader.bytes, (Bytes{0xAA, 5, 6, 7}));

    // The same after a whole frame: the last block of a read-out, whose reader starts the next
    // exchange at once and goes back to single bytes. The next reply came while the watcher
    // still waited for a block; it is taken now, or nothing would ever announce it.
    reader = {};
    reader.wanted = 4;
    pump.followFrameRequest(4);
    reader.onFrame = [&] {
        link.receive({0xCB});
        pump.followFrameRequest(0);
    };
    link.receive({1, 2, 3, 4});
    pump.drain();
    ASSERT_EQ(reader.frames.size(), 1u);
    EXPECT_EQ(reader.bytes, Bytes{0xCB});
    EXPECT_EQ(link.frameSize, 0u);
}

}  // namespace
}  // namespace zrk

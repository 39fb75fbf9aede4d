// One exchange as one value: what it writes, which reply answers it, and how a wrong one fails
// under the exchange's own name.
#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/Exchange.h"
#include "engine/OperationFrame.h"
#include "engine/Phase.h"
#include "engine/PhaseContext.h"
#include "support/FakeClock.h"
#include "support/FakeLink.h"
#include "support/RecordingView.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Names every state otherwise than the exchanges do: a failure named by the phase is caught.
class NamingPhase : public Phase {
  public:
    void step(std::uint8_t) override {}
    const char* exchangeName(std::int32_t) const override { return "the phase's own name"; }
};

class ExchangeTest : public ::testing::Test {
  protected:
    ExchangeTest() {
        context.enterPhase(phase);
        context.trackOperation(Operation::BringUp);
    }
    void feed(const Bytes& bytes) {
        for (std::uint8_t b : bytes)
            context.judge(b);
    }
    const OperationOutcome& onlyOutcome() {
        EXPECT_EQ(view.outcomes.size(), 1u);
        return view.outcomes.at(0);
    }

    test::FakeLink link;
    test::RecordingView view;
    test::FakeClock clock;
    PhaseContext context{link, view, clock};
    NamingPhase phase;
    std::vector<Bytes> replies;
    std::function<void(Exchange::Reply)> keep = [this](Exchange::Reply r) {
        replies.emplace_back(r.begin(), r.end());
    };
};

TEST_F(ExchangeTest, AValueGoesAsTwoWritesAndIsAnsweredByTheSumOfItsFourBytes) {
    context.begin(Exchange("send the image length", 20).sendValue(0xD4, 0x01020304).then(keep));
    EXPECT_EQ(link.writes, (std::vector<Bytes>{{0xD4}, {0x01, 0x02, 0x03, 0x04}}));
    EXPECT_EQ(context.state(), 20);
    EXPECT_EQ(context.armedExchange()->expectedReply, 0x0A);
    // The command is no part of the sum (D4h + 0Ah would be DEh).
    context.judge(0x0A);
    EXPECT_EQ(replies, std::vector<Bytes>{{0x0A}});
    EXPECT_TRUE(view.outcomes.empty());
}

TEST_F(ExchangeTest, AWrongReplyFailsUnderTheExchangesOwnNameAndEndsAsItSays) {
    context.begin(Exchange("send the image length", 20)
                      .sendValue(0xD4, 0x01020304)
                      .then(keep)
                      .failing([](std::uint8_t got) {
                          return "\r\nFail (" + std::to_string(got) + ")!\r\n";
                      }));
    context.judge(0xDE);
    const OperationOutcome& outcome = onlyOutcome();
    EXPECT_EQ(outcome.kind, OutcomeKind::Abandoned);
    EXPECT_EQ(outcome.failure.exchange, "send the image length");
    EXPECT_EQ(outcome.failure.state, 20);
    EXPECT_EQ(outcome.failure.cause, FailureCause::PhoneReply);
    EXPECT_EQ(outcome.failure.expected, std::optional<std::uint8_t>(0x0A));
    EXPECT_EQ(outcome.failure.got, std::optional<std::uint8_t>(0xDE));
    EXPECT_EQ(outcome.detail, "Fail (222)!");
    EXPECT_EQ(view.log, "\r\nFail (222)!\r\n");
    EXPECT_EQ(context.state(), IDLE);
    EXPECT_TRUE(view.events.empty()) << "an abandoned operation keeps its controls locked";
    // Idle now: the right reply, late, is no reply.
    context.judge(0x0A);
    EXPECT_TRUE(replies.empty());

    view.outcomes.clear();
    context.setLoaderReady(true);
    context.beginOperation(OP_ERASE);
    view.events.clear();
    context.begin(Exchange("erase a sector", 17)
                      .expect(0x01)
                      .failing("Fail!\r\n", Ending::Finish)
                      .failureDetail(Exchange::Detail::AsLogged)
                      .failureOmitsExpected());
    context.judge(0x02);
    EXPECT_EQ(onlyOutcome().kind, OutcomeKind::Failed);
    EXPECT_EQ(onlyOutcome().failure.exchange, "erase a sector");
    EXPECT_EQ(onlyOutcome().detail, "Fail!\r\n");
    EXPECT_FALSE(onlyOutcome().failure.expected.has_value());
    EXPECT_EQ(view.events, std::vector<std::string>{"finish"});
}

TEST_F(ExchangeTest, ABorrowedBlockGoesBetweenItsCommandAndWhatFollowsAsItStood) {
    Bytes block(3000, 0x5A);
    block.front() = 0x01;
    block.back() = 0x02;
    context.begin(Exchange("send a block", 49)
                      .send({0xFA, 0, 1, 0, 0})
                      .sendBorrowed(block)
                      .send({0x7E})
                      .expectAnyByte()
                      .then(keep));
    EXPECT_EQ(link.writes, (std::vector<Bytes>{{0xFA, 0, 1, 0, 0}, block, {0x7E}}));
    // Any byte answers, and none names a byte wanted.
    context.judge(0x00);
    context.judge(0xFF);
    EXPECT_EQ(replies, (std::vector<Bytes>{{0x00}, {0xFF}}));
    EXPECT_FALSE(context.armedExchange()->expected().has_value());
    Exchange twice("send a block", 49);
    twice.sendBorrowed(block);
    EXPECT_THROW(twice.sendBorrowed(block), std::logic_error);
}

TEST_F(ExchangeTest, ADetailMadeFromTheByteIsCarriedApartFromTheLoggedWords) {
    context.begin(Exchange("send the image CRC", 51)
                      .sendValue(0xC8, 0x00000001)
                      .failing([](std::uint8_t) { return std::string("Fail! (why)\r\n"); })
                      .failureDetail([](std::uint8_t got) { return std::to_string(got); }));
    context.judge(0x02);
    EXPECT_EQ(onlyOutcome().detail, "2");
    EXPECT_EQ(view.log, "Fail! (why)\r\n");
    EXPECT_EQ(onlyOutcome().failure.expected, std::optional<std::uint8_t>(0x01));
}

TEST_F(ExchangeTest, OneOfSeveralHandsOnTheByteThatCameAndNamesNoneWhenWrong) {
    const auto listing = [&] {
        context.begin(Exchange("list a directory", 54).expectOneOf({0xCB, 0xE7}).then(keep));
    };
    listing();
    context.judge(0xE7);
    listing();
    context.judge(0xCB);
    EXPECT_EQ(replies, (std::vector<Bytes>{{0xE7}, {0xCB}}));
    listing();
    context.judge(0xE6);
    EXPECT_EQ(onlyOutcome().failure.exchange, "list a directory");
    EXPECT_FALSE(onlyOutcome().failure.expected.has_value());
    EXPECT_EQ(onlyOutcome().failure.got, std::optional<std::uint8_t>(0xE6));
}

TEST_F(ExchangeTest, BytesAreCollectedAcrossDeliveriesAndEachExchangeStartsAfresh) {
    context.begin(
        Exchange("read the challenge", 3).send({0x51}).expectBytes(4).then([&](Exchange::Reply r) {
            keep(r);
            // The next exchange begins from the reply's own step, replacing this one.
            context.begin(Exchange("identify the flash", 18).expectBytes(2).then(keep));
        }));
    const auto before = context.stepMark();
    feed({1, 2, 3});
    EXPECT_TRUE(context.stepMark() == before) << "a part of a reply is not taken yet";
    EXPECT_TRUE(replies.empty());
    feed({4, 5});
    EXPECT_EQ(replies, (std::vector<Bytes>{{1, 2, 3, 4}}));
    // An exchange begun again before its reply was whole forgets what had come.
    context.begin(Exchange("identify the flash", 18).expectBytes(2).then(keep));
    feed({6, 7});
    EXPECT_EQ(replies, (std::vector<Bytes>{{1, 2, 3, 4}, {6, 7}}));
}

TEST_F(ExchangeTest, AWrongByteThatFailsNothingGoesWhereTheExchangeSays) {
    Bytes heard;
    context.begin(
        Exchange("wait for the phone", 1).expect(0x81).then(keep).otherwise([&](std::uint8_t b) {
            heard.push_back(b);
        }));
    feed({0x00, 0x44, 0x81});
    EXPECT_EQ(heard, (Bytes{0x00, 0x44}));
    EXPECT_EQ(replies, std::vector<Bytes>{{0x81}});
    EXPECT_TRUE(view.outcomes.empty());

    context.begin(Exchange("switch the line speed", 19).send({3}).expectNothingYet().then(keep));
    feed({3, 3});
    EXPECT_EQ(replies.size(), 1u) << "nothing is awaited before the line is back";
}

TEST_F(ExchangeTest, TheArmedExchangeNamesItsStateUntilAnotherPhaseTakesOver) {
    context.begin(Exchange("switch the line speed", 19).expect(3));
    EXPECT_STREQ(context.exchangeName(), "switch the line speed");
    // A step that went idle first still failed in the exchange it was waiting on.
    context.setState(IDLE);
    EXPECT_STREQ(context.exchangeName(), "the phase's own name");
    context.reportFailure(FailureCause::PhoneReply, "no echo");
    context.finishOperation();
    EXPECT_EQ(onlyOutcome().failure.exchange, "switch the line speed");
    EXPECT_EQ(onlyOutcome().failure.state, 19);

    // The next phase reuses the number with a meaning of its own.
    NamingPhase loader;
    context.enterPhase(loader);
    context.setState(19);
    EXPECT_STREQ(context.exchangeName(), "the phase's own name");
    EXPECT_EQ(context.armedExchange(), nullptr);
}

}  // namespace
}  // namespace zrk

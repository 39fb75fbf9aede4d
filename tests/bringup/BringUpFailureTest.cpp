// The typed failure each wrong reply of the bring-up ends in: the exchange it names, its state,
// the byte wanted and the byte that came, and the words it carries to a report.
#include <gtest/gtest.h>

#include <optional>

#include "bringup/BringUp.h"
#include "support/EngineProbe.h"
#include "support/PhoneScript.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct WrongReply {
    std::size_t index;  // the reply replaced, in its stream
    std::uint8_t byte;
    const char* exchange;
    std::int32_t state;
    bool namesExpected;  // the byte an honest phone sends there
    const char* detail;
};

// A phone that answers well up to the reply replaced; after the switch when `afterSwitch`.
void expectFailure(const WrongReply& wrong, bool afterSwitch) {
    SCOPED_TRACE(wrong.exchange);
    test::FakeLink link;
    test::RecordingView view;
    view.userChoices.speedIndex = 3;
    ProtocolEngine engine{link, view};
    const auto replies = test::bringUpReplies(EngineProbe::bringUp(engine).targetData(), 3);
    engine.start(view.userChoices);
    if (afterSwitch) {
        test::feed(engine, link, replies.beforeSwitch);
        engine.onBaudTimer();
    }
    const Bytes& stream = afterSwitch ? replies.afterSwitch : replies.beforeSwitch;
    Bytes fed(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(wrong.index));
    fed.push_back(wrong.byte);
    test::feed(engine, link, fed);

    ASSERT_EQ(view.outcomes.size(), 1u);
    const OperationOutcome& outcome = view.outcomes[0];
    EXPECT_EQ(outcome.kind, OutcomeKind::Abandoned);
    EXPECT_EQ(outcome.cause, FailureCause::PhoneReply);
    EXPECT_EQ(outcome.failure.exchange, wrong.exchange);
    EXPECT_EQ(outcome.failure.state, wrong.state);
    EXPECT_EQ(outcome.failure.expected, wrong.namesExpected
                                            ? std::optional<std::uint8_t>(stream[wrong.index])
                                            : std::nullopt);
    EXPECT_EQ(outcome.failure.got, std::optional<std::uint8_t>(wrong.byte));
    // Carried as the step logged them.
    EXPECT_EQ(outcome.detail, wrong.detail);
}

TEST(BringUpFailure, EachWrongReplyBeforeTheSwitchNamesItsOwnExchange) {
    constexpr std::size_t kFirstWordAck = 1 + 1 + 16 + 3;
    const char* const romComplaint = "Bad response(0x3F) from KEPLA Chip\r\n";
    const std::vector<WrongReply> points = {
        {18, 0x46, "send the customer identification", 4, true, "Fail!\r\n"},
        {19, 0x4E, "set the boot ROM's time-out", 53, true, "Timeout change Fail(4e)!\r\n"},
        // The ROM's load commands have never named the byte they wanted.
        {20, 0x3F, "send the pre-loader's load address", 11, false, romComplaint},
        {kFirstWordAck + 100, 0x3F, "send the pre-loader's words", 5, false, romComplaint},
        {kFirstWordAck + 444, 0x3F, "send the pre-loader's last word", 6, false, romComplaint},
        {kFirstWordAck + 445, 0x3F, "start the pre-loader", 7, false, romComplaint},
        {kFirstWordAck + 446, 0xAC, "wait for the pre-loader", 8, true,
         "Bad response(0xAC) from Pre-Loader\r\n"},
    };
    for (const auto& wrong : points)
        expectFailure(wrong, false);
}

TEST(BringUpFailure, EachWrongReplyAfterTheSwitchNamesItsOwnExchange) {
    const std::size_t n = test::bringUpReplies(TargetData::embedded(), 3).afterSwitch.size();
    const std::vector<WrongReply> points = {
        {1, 0x3C, "send the boot-loader's size", 20, true, "Fail in sending the file size!\r\n"},
        {2, 0xF6, "set up a boot-loader chunk", 48, true, "Fail to configure DMA\r\n"},
        {3, 0x00, "send a boot-loader chunk", 12, true,
         "checksum mismatched from Pre-Loader (0x0)\r\n"},
        {n - 11, 0x01, "send the boot-loader's last chunk", 13, true,
         "checksum mismatched from Pre-Loader (0x1)\r\n"},
        {n - 10, 0xAA, "start the boot-loader", 16, true,
         "Bad response from Boot-Loader (0xAA)\r\n"},
        {n - 9, 0x11, "set the flash base", 17, true, "Fail!\r\n"},
    };
    for (const auto& wrong : points)
        expectFailure(wrong, true);
}

}  // namespace
}  // namespace zrk

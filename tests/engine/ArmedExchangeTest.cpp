// The armed exchange's two places: the step of the exchange being judged may begin the next one,
// and neither may be made over the other while it is still in use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ArmedExchange.h"

namespace zrk {
namespace {

TEST(ArmedExchangeTest, AStepThatArmsTheNextKeepsItsOwnExchangeUntilItIsDone) {
    ArmedExchange armed;
    std::vector<std::string> steps;
    // Each step arms the next one and then still reads what its own exchange captured: made
    // over while running, its captures would be gone (the sanitizer sees that).
    armed.arm(std::move(Exchange("first", 1).expect(0x11).then([&, words = std::string("first")] {
        armed.arm(std::move(Exchange("second", 2).expect(0x22).then([&, w = std::string("2nd")] {
            armed.arm(std::move(
                Exchange("third", 3).expect(0x33).then([&] { steps.push_back("third"); })));
            steps.push_back(w);
        })));
        steps.push_back(words);
    })));
    const auto noWrongReply = [](const Exchange&, std::uint8_t) { FAIL(); };
    armed.judge(0x11, 1, noWrongReply);
    ASSERT_NE(armed.armedFor(2), nullptr);
    EXPECT_EQ(armed.armedFor(1), nullptr);
    armed.judge(0x22, 2, noWrongReply);
    armed.judge(0x33, 3, noWrongReply);
    EXPECT_EQ(steps, (std::vector<std::string>{"first", "2nd", "third"}));
}

TEST(ArmedExchangeTest, AWrongByteGoesToItsHandlerAndAnotherStatesByteToNothing) {
    ArmedExchange armed;
    bool answered = false;
    armed.arm(std::move(Exchange("ask", 5).expect(0x06).then([&] { answered = true; })));
    const Exchange* wrongIn = nullptr;
    std::uint8_t wrongByte = 0;
    const auto wrong = [&](const Exchange& exchange, std::uint8_t byte) {
        wrongIn = &exchange;
        wrongByte = byte;
    };
    armed.judge(0x06, 4, wrong);  // the state moved on: no exchange waits there
    EXPECT_FALSE(answered);
    EXPECT_EQ(wrongIn, nullptr);
    armed.judge(0x15, 5, wrong);
    ASSERT_NE(wrongIn, nullptr);
    EXPECT_STREQ(wrongIn->name, "ask");
    EXPECT_EQ(wrongByte, 0x15);
    armed.disarm();
    EXPECT_EQ(armed.armedFor(5), nullptr);
}

}  // namespace
}  // namespace zrk

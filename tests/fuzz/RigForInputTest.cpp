#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/EngineRig.h"
#include "fuzz/WireCommands.h"
#include "support/EngineProbe.h"

namespace zrk::fuzz {
namespace {

// What a rig recorded, for comparing two of them.
struct Records {
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::size_t> consumedAt;
    std::vector<std::uint8_t> fed;
    std::size_t opens;
    int closes;
    bool connected;
    std::string log;
    std::vector<std::string> events;
    std::vector<std::string> messages;
    std::vector<Stage> stages;
    std::vector<OutcomeKind> outcomes;
    std::vector<std::uint32_t> progress;
    std::vector<int> timerStarts;
    Stage stage;
    bool tracking;
    bool handlerIsEngine;
    std::uint64_t session;
    bool operator==(const Records&) const = default;
};

Records recordsOf(EngineRig& rig) {
    Records r;
    for (const auto& w : rig.link.transcript) {
        r.writes.emplace_back(w.bytes.begin(), w.bytes.end());
        r.consumedAt.push_back(w.consumedAt);
    }
    r.fed = rig.link.fed;
    r.opens = rig.link.opens.size();
    r.closes = rig.link.closes;
    r.connected = rig.link.connected;
    r.log = rig.view.log;
    r.events = rig.view.events;
    r.messages = rig.view.messages;
    r.stages = rig.view.stages;
    for (const auto& outcome : rig.view.outcomes)
        r.outcomes.push_back(outcome.kind);
    r.progress = rig.view.progressHistory;
    r.timerStarts = rig.view.timerStarts;
    r.stage = rig.engine.stage();
    r.tracking = EngineProbe::context(rig.engine).tracking();
    r.handlerIsEngine = rig.link.handler() == &rig.engine;
    r.session = rig.link.session();
    return r;
}

// START, the boot ROM's request and grant, a short challenge, then Stop: a little of everything
// recorded.
void play(EngineRig& rig) {
    rig.engine.start(rig.view.userChoices);
    rig.link.feed(std::vector<std::uint8_t>{wire::kConnectRequest, wire::kConnectGrant, 1, 2});
    rig.engine.onDataReceived();
    rig.engine.stop();
}

TEST(RigForInput, EachInputGetsARigAsFreshAsANewOne) {
    EngineRig fresh;
    const Records untouched = recordsOf(fresh);
    for (int input = 0; input < 3; ++input) {
        RigForInput rig;
        EXPECT_EQ(recordsOf(*rig), untouched) << "input " << input;
        play(*rig);
        EXPECT_FALSE((*rig).link.transcript.empty());
    }
}

TEST(RigForInput, TheSameInputRecordsTheSameInEveryRig) {
    EngineRig fresh;
    play(fresh);
    const Records once = recordsOf(fresh);
    ASSERT_FALSE(once.log.empty());
    ASSERT_FALSE(once.stages.empty());
    for (int input = 0; input < 3; ++input) {
        RigForInput rig;
        play(*rig);
        EXPECT_EQ(recordsOf(*rig), once) << "input " << input;
    }
}

// An input that stops half-way (a violation traps, but an early return must not either)
// leaves nothing for the next one.
TEST(RigForInput, WhatAnInputLeftRunningDoesNotReachTheNext) {
    {
        RigForInput rig;
        (*rig).engine.start((*rig).view.userChoices);
        (*rig).view.userChoices.autoDownload = true;
        (*rig).view.yesNoAnswer = false;
        (*rig).clock.now = 42;
        ASSERT_NE((*rig).engine.stage(), Stage::Initial);
    }
    RigForInput rig;
    EngineRig fresh;
    EXPECT_EQ(recordsOf(*rig), recordsOf(fresh));
    EXPECT_FALSE((*rig).view.userChoices.autoDownload);
    EXPECT_TRUE((*rig).view.yesNoAnswer);
    EXPECT_EQ((*rig).clock.now, fresh.clock.now);
}

}  // namespace
}  // namespace zrk::fuzz

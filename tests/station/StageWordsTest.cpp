// One table gives every audience its word for a stage: a stage or a port state without a row
// would leave a tile or a port line blank, and the audiences' texts differ only where they
// always have.
#include <gtest/gtest.h>

#include <string>

#include "station/StageWords.h"

namespace zrk::station {
namespace {

TEST(StageWords, EveryStageHasTheEngineWordAndEveryPortStateATileAndAPortLineWord) {
    for (int s = static_cast<int>(Stage::Initial); s <= static_cast<int>(Stage::Verifying); ++s)
        EXPECT_STRNE(stageName(static_cast<Stage>(s)), "") << s;
    for (int p = static_cast<int>(PortState::Idle); p <= static_cast<int>(PortState::PortProblem);
         ++p) {
        const PortState state = static_cast<PortState>(p);
        const StageWords& words = stageWords(state);
        EXPECT_STRNE(words.tile, "") << p;
        // Only a download under way leaves its word to the command that runs.
        if (state != PortState::Downloading)
            EXPECT_STRNE(words.line, "") << p;
        EXPECT_STREQ(words.tile, portStateWords(state));
    }
}

TEST(StageWords, TheAudiencesSayWaitingAndWorkingEachInTheirOwnWords) {
    const StageWords& waiting = stageWords(Stage::WaitingForPhone);
    EXPECT_STREQ(waiting.engine, "waiting for the phone");
    EXPECT_STREQ(waiting.tile, "waiting for a phone");
    EXPECT_STREQ(waiting.line, "waiting for power-on");
    EXPECT_STREQ(waiting.lineLooping, "waiting for next phone");
    // The same row whether it is looked up by the engine's stage or by the port's state.
    EXPECT_EQ(&stageWords(PortState::Waiting), &waiting);

    const StageWords& working = stageWords(Stage::Working);
    EXPECT_STREQ(working.tile, "downloading");
    EXPECT_STREQ(working.line, "");  // the command names its own work
    EXPECT_STREQ(stageWords(PortState::Idle).line, "starting");
    EXPECT_STREQ(stageWords(Stage::Idle).line, "bringing up");
}

}  // namespace
}  // namespace zrk::station

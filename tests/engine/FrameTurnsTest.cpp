// The control steps a front end derives from the engine's news, where the news alone could
// mislead it: refusals, operations of two parts, abandoned operations and the link's end.
#include <gtest/gtest.h>

#include "engine/FrameTurns.h"

namespace zrk {
namespace {

OperationOutcome ended(OutcomeKind kind, FailureCause cause = FailureCause::None) {
    OperationOutcome outcome;
    outcome.kind = kind;
    outcome.cause = cause;
    return outcome;
}

TEST(FrameTurns, OnlyWhatHeldThePhoneFreesIt) {
    FrameTurns turns;
    // A button refused before anything was sent: the controls stay as they were.
    EXPECT_EQ(turns.operationEnded(ended(OutcomeKind::Failed, FailureCause::Refused)),
              std::nullopt);
    EXPECT_EQ(turns.stageChanged(Stage::WaitingForPhone), FrameTurn::PortOpened);
    EXPECT_EQ(turns.stageChanged(Stage::BringingUp), std::nullopt);
    // The identification makes the phone ready before its outcome: the outcome frees it.
    EXPECT_EQ(turns.stageChanged(Stage::Ready), std::nullopt);
    EXPECT_EQ(turns.operationEnded(ended(OutcomeKind::Completed)), FrameTurn::Freed);

    // BIN + QIX, verified: idle between the parts, one operation all the same.
    EXPECT_EQ(turns.stageChanged(Stage::Working), FrameTurn::Busy);
    EXPECT_EQ(turns.stageChanged(Stage::Verifying), std::nullopt);
    EXPECT_EQ(turns.stageChanged(Stage::Ready), std::nullopt);
    EXPECT_EQ(turns.stageChanged(Stage::Working), std::nullopt);
    EXPECT_EQ(turns.operationEnded(ended(OutcomeKind::Failed, FailureCause::PhoneReply)),
              FrameTurn::Freed);
    // A refusal right after (the download after identification) changes nothing either.
    EXPECT_EQ(turns.operationEnded(ended(OutcomeKind::Failed, FailureCause::File)), std::nullopt);
}

TEST(FrameTurns, AnAbandonedOperationHoldsThePhoneUntilTheLinkCloses) {
    FrameTurns turns;
    turns.stageChanged(Stage::WaitingForPhone);
    turns.operationEnded(ended(OutcomeKind::Completed));
    EXPECT_EQ(turns.stageChanged(Stage::Working), FrameTurn::Busy);
    EXPECT_EQ(turns.stageChanged(Stage::Ready), std::nullopt);
    EXPECT_EQ(turns.operationEnded(ended(OutcomeKind::Abandoned)), std::nullopt);
    EXPECT_EQ(turns.linkClosed(), FrameTurn::Closed);
    // START again.
    EXPECT_EQ(turns.stageChanged(Stage::WaitingForPhone), FrameTurn::PortOpened);
}

TEST(FrameTurns, TheOutcomeOfAnOperationStopCutShortFollowsTheClosedLink) {
    FrameTurns turns;
    turns.stageChanged(Stage::WaitingForPhone);
    // An unknown flash: idle before its box, then the link closes, then the bring-up fails.
    EXPECT_EQ(turns.stageChanged(Stage::Idle), std::nullopt);
    EXPECT_EQ(turns.linkClosed(), FrameTurn::Closed);
    EXPECT_EQ(turns.operationEnded(ended(OutcomeKind::Failed, FailureCause::PhoneReply)),
              std::nullopt);
    EXPECT_EQ(turns.operationEnded(ended(OutcomeKind::Stopped)), std::nullopt);
}

}  // namespace
}  // namespace zrk

// The one outcome of a tracked operation: the verdict its steps gave wins over the way it ended,
// and nothing is told for an operation no one tracked.
#include <gtest/gtest.h>

#include "engine/OperationTracker.h"
#include "support/FakeClock.h"
#include "support/RecordingView.h"

namespace zrk {
namespace {

Failure failureIn(const char* exchange, FailureCause cause, const char* detail) {
    Failure failure;
    failure.exchange = exchange;
    failure.state = 7;
    failure.cause = cause;
    failure.detail = detail;
    return failure;
}

class OperationTrackerTest : public ::testing::Test {
  protected:
    test::RecordingView view;
    test::FakeClock clock;
    OperationTracker tracker{view, clock};
};

TEST_F(OperationTrackerTest, AVerdictGivenBeforeTheEndWinsOverTheWayItEnded) {
    tracker.track(Operation::Dump);
    clock.now += 42;
    tracker.countBytes(100);
    tracker.countBytes(28);
    tracker.judge(OutcomeKind::Failed, failureIn("read a block", FailureCause::PhoneReply, "no"));
    tracker.end(OutcomeKind::Stopped, failureIn("", FailureCause::None, ""));
    ASSERT_EQ(view.outcomes.size(), 1u);
    const OperationOutcome& outcome = view.outcomes[0];
    EXPECT_EQ(outcome.operation, Operation::Dump);
    EXPECT_EQ(outcome.kind, OutcomeKind::Failed);
    EXPECT_EQ(outcome.cause, FailureCause::PhoneReply);
    EXPECT_EQ(outcome.detail, "no");
    EXPECT_EQ(outcome.failure.exchange, "read a block");
    EXPECT_EQ(outcome.failure.state, 7);
    EXPECT_EQ(outcome.bytes, 128u);
    EXPECT_EQ(outcome.elapsedSeconds, 42);
    EXPECT_FALSE(tracker.tracking());
}

TEST_F(OperationTrackerTest, AnAbandonAfterAFailureKeepsTheFailureAndOneWithoutBecomesAbandoned) {
    tracker.track(Operation::Erase);
    tracker.judge(OutcomeKind::Failed, failureIn("erase", FailureCause::PhoneReply, "refused"));
    tracker.abandoned(failureIn("erase", FailureCause::File, "later"));
    tracker.end(OutcomeKind::Abandoned, failureIn("erase", FailureCause::File, "later"));

    tracker.track(Operation::Format);
    tracker.abandoned(failureIn("format", FailureCause::Refused, "name too long"));
    tracker.end(OutcomeKind::Failed, failureIn("", FailureCause::PhoneReply, "fallback"));

    ASSERT_EQ(view.outcomes.size(), 2u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
    EXPECT_EQ(view.outcomes[0].detail, "refused");
    EXPECT_EQ(view.outcomes[1].kind, OutcomeKind::Abandoned);
    EXPECT_EQ(view.outcomes[1].cause, FailureCause::Refused);
    EXPECT_EQ(view.outcomes[1].failure.exchange, "format");
}

TEST_F(OperationTrackerTest, CompletedAndStoppedNameNoExchangeButAStopKeepsItsWords) {
    tracker.track(Operation::Firmware);
    tracker.countBytes(5);
    tracker.completed(4096);  // the total replaces what was counted
    tracker.end(OutcomeKind::Failed, failureIn("send a block", FailureCause::PhoneReply, "x"));

    tracker.track(Operation::BringUp);
    tracker.end(OutcomeKind::Stopped, failureIn("connect", FailureCause::Port, "unplugged"));

    ASSERT_EQ(view.outcomes.size(), 2u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Completed);
    EXPECT_EQ(view.outcomes[0].bytes, 4096u);
    EXPECT_TRUE(view.outcomes[0].failure.exchange.empty());
    EXPECT_EQ(view.outcomes[1].kind, OutcomeKind::Stopped);
    EXPECT_TRUE(view.outcomes[1].failure.exchange.empty());
    EXPECT_EQ(view.outcomes[1].failure.state, 0);
    EXPECT_EQ(view.outcomes[1].cause, FailureCause::Port);
    EXPECT_EQ(view.outcomes[1].detail, "unplugged");
}

TEST_F(OperationTrackerTest, NothingIsToldWhileNothingIsTrackedAndAFreshTrackForgetsTheLast) {
    tracker.judge(OutcomeKind::LinkLost, failureIn("", FailureCause::Port, "gone"));
    tracker.completed(10);
    tracker.end(OutcomeKind::Stopped, {});
    EXPECT_TRUE(view.outcomes.empty());

    tracker.track(Operation::Status);
    tracker.countBytes(9);
    tracker.judge(OutcomeKind::Failed, failureIn("status", FailureCause::PhoneReply, "old"));
    EXPECT_TRUE(tracker.judged());
    tracker.track(Operation::Status);
    EXPECT_FALSE(tracker.judged());
    tracker.end(OutcomeKind::Stopped, {});
    tracker.end(OutcomeKind::Failed, {});  // already over: nothing more
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Stopped);
    EXPECT_EQ(view.outcomes[0].bytes, 0u);
}

}  // namespace
}  // namespace zrk

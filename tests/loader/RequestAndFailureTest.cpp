// What reaches a front end from the engine: the typed failure of a wrong reply, the stages,
// and operations that run on the request they were started with.
#include <gtest/gtest.h>

#include "loader/LoaderFixture.h"

namespace zrk {
namespace {

using test::Bytes;

class RequestAndFailure : public test::LoaderFixture {};

TEST_F(RequestAndFailure, AWrongReplyEndsInAFailureThatNamesItsExchangeAndBothBytes) {
    const auto image = dir.write("fw.bin", test::randomImage(70000, 5));
    view.userChoices.binPath = image;
    phone.badSectorSumAt = 1;
    press(&ProtocolEngine::download);
    ASSERT_EQ(view.outcomes.size(), 1u);
    const OperationOutcome& o = view.outcomes[0];
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.failure.cause, FailureCause::PhoneReply);
    EXPECT_EQ(o.failure.exchange, "write a sector");
    ASSERT_TRUE(o.failure.expected && o.failure.got);
    EXPECT_NE(*o.failure.expected, *o.failure.got);
    // The words come with it: nothing needs to be read back from the log.
    EXPECT_EQ(o.detail, "Fail to download sector!");
    EXPECT_EQ(o.failure.detail, o.detail);
}

TEST_F(RequestAndFailure, ChoicesChangedWhileAnOperationRunsDoNotReachIt) {
    const auto image = dir.write("fw.bin", test::randomImage(40000, 6));
    view.userChoices.binPath = image;
    view.userChoices.powerOnAfterDownload = false;
    engine.download();
    // Read only when the download ends: it must be the one the press was made with.
    view.userChoices.powerOnAfterDownload = true;
    view.userChoices.binPath = "/nonexistent";
    phone.pump(engine);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_TRUE(view.outcomes[0].completed()) << view.log;
    EXPECT_TRUE(link.isConnected());  // no power-on, which would have closed the link
    EXPECT_TRUE(norHolds(test::randomImage(40000, 6), 0));
}

TEST_F(RequestAndFailure, AnswersCarriedByTheRequestAreNotAskedAgain) {
    UserChoices request = view.userChoices;
    request.sectors = std::vector<std::int32_t>(SectorMap::kSectorCount, 0);
    (*request.sectors)[1] = 1;
    request.saveFile = dir.file("one.bin");
    engine.dump(request);
    phone.pump(engine);
    EXPECT_EQ(view.sectorDialogs, 0);
    EXPECT_TRUE(view.saveRequests.empty());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_TRUE(view.outcomes[0].completed()) << view.log;
    EXPECT_EQ(test::TempDir::read(dir.file("one.bin")).size(), 0x10000u);

    request.formatConfirmed = false;
    engine.format(request);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(view.outcomes.back().cause, FailureCause::Refused);
}

TEST_F(RequestAndFailure, StopMovesFromReadyToIdleWithoutAStepBetween) {
    view.stages.clear();
    engine.stop();
    EXPECT_EQ(view.stages, std::vector<Stage>{Stage::Idle});
}

}  // namespace
}  // namespace zrk

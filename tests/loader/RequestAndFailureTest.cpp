// What reaches a front end from the engine: the typed failure of a wrong reply, the stages,
// and operations that run on the request they were started with.
#include <gtest/gtest.h>

#include "engine/Checksums.h"
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
    engine.download(view.userChoices);
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

// A dump block thrown off by noise leaves its tail queued behind the frame. Those bytes came
// before any later request went out, so they answer none: the next operation is judged by the
// phone's replies to it alone.
TEST_F(RequestAndFailure, BytesLeftBehindADumpFrameAreNoReplyToTheNextOperation) {
    view.sectorsToSelect = {511};
    view.saveFileAnswer = dir.file("top.hex");
    view.userChoices.binPath = dir.write("fw.bin", test::randomImage(3000, 5));
    const auto fromPhone = [&](const Bytes& bytes) {
        link.receive(bytes);
        engine.onDataReceived();
    };
    engine.dump(view.userChoices);
    fromPhone({0x00});  // the start reply: the dump asks for its first block
    fromPhone({0x44});
    fromPhone({0x44});
    Bytes frame = test::randomImage(loader::kDumpBlockSize, 8);
    frame.push_back(sum8(frame));
    fromPhone(frame);  // two bytes too many: its last two stay behind the frame
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Abandoned);
    EXPECT_EQ(view.outcomes[0].detail, "Checksum mismatched!");

    engine.download(view.userChoices);
    EXPECT_EQ(engine.exchange(), "start the operation");
    fromPhone({0x00});
    EXPECT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(engine.exchange(), "send the image CRC");
    fromPhone({0x5A});  // not the sum of the CRC
    ASSERT_EQ(view.outcomes.size(), 2u);
    const Failure& failure = view.outcomes[1].failure;
    EXPECT_EQ(failure.exchange, "send the image CRC");
    EXPECT_EQ(failure.got, std::optional<std::uint8_t>{0x5A});
}

}  // namespace
}  // namespace zrk

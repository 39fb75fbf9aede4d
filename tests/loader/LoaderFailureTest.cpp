// The typed failure each wrong reply of the NOR operations ends in: the exchange it names, its
// state, the byte wanted and the byte that came, the words it carries, and how it leaves the
// operation (abandoned with the controls locked, or finished).
#include <gtest/gtest.h>

#include "engine/Checksums.h"
#include "engine/TextFormat.h"
#include "loader/LoaderFixture.h"
#include "support/EngineProbe.h"

namespace zrk {
namespace {

using test::Bytes;
using namespace loader;

struct Expected {
    OutcomeKind kind;
    const char* exchange;
    std::int32_t state;
    std::uint8_t wanted;
    std::uint8_t got;
    const char* detail;
    const char* lastEvent;
};

class LoaderFailure : public test::LoaderFixture {
  protected:
    void fromPhone(std::uint8_t byte) {
        link.receive({byte});
        engine.onDataReceived();
    }

    void expectOutcome(const Expected& e) {
        ASSERT_EQ(view.outcomes.size(), 1u) << view.log;
        const OperationOutcome& o = view.outcomes[0];
        EXPECT_EQ(o.kind, e.kind);
        EXPECT_EQ(o.cause, FailureCause::PhoneReply);
        EXPECT_EQ(o.failure.exchange, e.exchange);
        EXPECT_EQ(o.failure.state, e.state);
        EXPECT_EQ(o.failure.expected, std::optional<std::uint8_t>(e.wanted));
        EXPECT_EQ(o.failure.got, std::optional<std::uint8_t>(e.got));
        EXPECT_EQ(o.detail, e.detail);
        EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
        ASSERT_FALSE(view.events.empty());
        EXPECT_EQ(view.events.back(), e.lastEvent);
    }
};

// The header of a download: a wrong sum to its CRC, offset or length, after honest replies to
// what came before it. The abandoned one goes last: only Stop ends it.
TEST_F(LoaderFailure, EachWrongSumToTheDownloadHeaderIsItsOwnFailure) {
    const Bytes image = test::randomImage(5000, 3);
    view.userChoices.binPath = dir.write("fw.bin", image);
    const std::uint8_t crcSum = sum8(bigEndian32(crc32(image.data(), image.size())));
    const std::uint8_t lengthSum = sum8(bigEndian32(static_cast<std::uint32_t>(image.size())));
    const std::vector<std::uint8_t> honest = {crcSum, 0x00, lengthSum};
    const auto badCrc = static_cast<std::uint8_t>(crcSum + 1);
    const auto badLength = static_cast<std::uint8_t>(lengthSum ^ 0x10);
    struct Point {
        std::size_t honestBefore;
        Expected failure;
        std::string logged;
    };
    const std::string crcDetail = formatText("checksum reply 0x%02X", badCrc);
    const std::vector<Point> points = {
        {1,
         {OutcomeKind::Failed, "send the write offset", stateNumber(LoaderState::WAIT_OFFSET_SUM),
          0x00, 0x77, "Fail!", "finish"},
         "Fail!"},
        {2,
         {OutcomeKind::Failed, "send the image length", stateNumber(LoaderState::WAIT_LENGTH_SUM),
          lengthSum, badLength, "Fail!", "finish"},
         "Fail!\r\n"},
        {0,
         {OutcomeKind::Abandoned, "send the image CRC",
          stateNumber(LoaderState::WAIT_IMAGE_CRC_SUM), crcSum, badCrc, crcDetail.c_str(), "lock"},
         "Fail! (" + crcDetail + ")\r\n"},
    };
    for (const Point& point : points) {
        SCOPED_TRACE(point.failure.exchange);
        view.outcomes.clear();
        view.log.clear();
        engine.download(view.userChoices);
        fromPhone(0x00);  // the start reply, whatever it is
        for (std::size_t i = 0; i < point.honestBefore; ++i)
            fromPhone(honest[i]);
        fromPhone(point.failure.got);
        expectOutcome(point.failure);
        EXPECT_TRUE(view.log.ends_with(point.logged)) << view.log;
    }
}

TEST_F(LoaderFailure, AWrongSectorSumFinishesTheDownloadInThatSector) {
    const Bytes image = test::randomImage(70000, 5);
    view.userChoices.binPath = dir.write("fw.bin", image);
    phone.badSectorSumAt = 2;
    press(&ProtocolEngine::download);
    const std::uint32_t second = engine.sectorMap()[1].byteOffset();
    const std::uint32_t size = engine.sectorMap()[1].byteSize();
    const std::uint8_t wanted =
        sum8(image.data() + second, std::min<std::size_t>(size, image.size() - second));
    expectOutcome({OutcomeKind::Failed, "write a sector", stateNumber(LoaderState::WAIT_SECTOR_SUM),
                   wanted, static_cast<std::uint8_t>(wanted + 1), "Fail to download sector!",
                   "finish"});
    EXPECT_TRUE(view.log.ends_with("Fail to download sector!\r\n"));
}

TEST_F(LoaderFailure, AWrongEraseReplyFinishesAfterItsBoxAndLogsNothing) {
    view.sectorsToSelect = {3, 5};
    phone.badEraseReplyAt = 2;
    press(&ProtocolEngine::erase);
    const std::uint32_t offset = engine.sectorMap()[5].byteOffset();
    const std::uint8_t wanted = sum8(bigEndian32(offset));
    expectOutcome({OutcomeKind::Failed, "erase a sector", stateNumber(LoaderState::WAIT_ERASE),
                   wanted, static_cast<std::uint8_t>(wanted + 1), "Fail to erase sector!",
                   "finish"});
    EXPECT_EQ(view.messages, std::vector<std::string>{"Fail to erase sector!"});
    // The first sector's OK, the second's request, and no words of the failure.
    EXPECT_TRUE(view.log.ends_with("OK!\r\nErasing sector (0x" +
                                   formatText("%08X", NOR_BASE + offset) + ")... "))
        << view.log;
}

// A garbled block names no byte: its sum is judged against the block, not a reply awaited.
TEST_F(LoaderFailure, AGarbledDumpBlockFailsInTheExchangeThatAskedForIt) {
    view.sectorsToSelect = {2};
    view.saveFileAnswer = dir.file("two.hex");
    phone.badDumpChecksumAt = 1;
    press(&ProtocolEngine::dump);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Abandoned);
    EXPECT_EQ(view.outcomes[0].failure.exchange, "read a dump block");
    EXPECT_EQ(view.outcomes[0].failure.state, stateNumber(LoaderState::WAIT_DUMP_BLOCK));
    EXPECT_EQ(view.outcomes[0].detail, "Checksum mismatched!");
    EXPECT_FALSE(view.outcomes[0].failure.got.has_value());
}

TEST_F(LoaderFailure, AGarbledBlockOfTheVerifyFailsInTheExchangeThatAskedForIt) {
    const Bytes image = test::randomImage(20000, 4);
    view.userChoices.binPath = dir.write("fw.bin", image);
    std::copy(image.begin(), image.end(), phone.nor.begin());
    phone.badDumpChecksumAt = 2;
    press(&ProtocolEngine::verify);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
    EXPECT_EQ(view.outcomes[0].failure.exchange, "read a block back");
    EXPECT_EQ(view.outcomes[0].failure.state, stateNumber(LoaderState::WAIT_VERIFY_BLOCK));
    EXPECT_EQ(view.outcomes[0].detail, "a block read back came with a wrong checksum");
}

}  // namespace
}  // namespace zrk

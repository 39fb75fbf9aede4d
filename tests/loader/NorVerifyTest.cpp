// The firmware verify against the scripted boot-loader: which blocks are read back, where a
// wrong byte is reported, and what follows a verify that fails (no power-on, the operation
// finished with the verify as its cause).
#include <gtest/gtest.h>

#include "engine/Checksums.h"
#include "engine/TextFormat.h"
#include "loader/LoaderFixture.h"
#include "support/EngineProbe.h"

namespace zrk {
namespace {

using test::Bytes;
using namespace loader;

class NorVerifyTest : public test::LoaderFixture {
  protected:
    void useImage(const Bytes& image) { view.userChoices.binPath = dir.write("image.bin", image); }
    void startAt(const std::string& text) {
        view.userChoices.useStartNorAddress = true;
        view.userChoices.startAddressText = text;
    }
};

TEST_F(NorVerifyTest, ADownloadReadsBackOnlyTheBlocksItsImageCoversThenCompletes) {
    // The image fills sector 1 and 8292 bytes of sector 2: two blocks of sector 2 are judged.
    const Bytes image = test::randomImage(65536 + 8192 + 100, 41);
    useImage(image);
    startAt("10010000");
    view.userChoices.verifyAfterDownload = true;
    press(&ProtocolEngine::download);

    std::vector<std::uint32_t> blocks;
    for (std::uint32_t at = 0x10000; at < 0x24000; at += 8192)
        blocks.push_back(at);
    EXPECT_EQ(phone.offsetsOf(CMD_DUMP_BLOCK), blocks);
    EXPECT_NE(view.log.find("** (Total 73828 bytes) **\r\n\r\n** Verifying NOR-Flash **\r\n"
                            "Verifying sector (0x10010000)... OK!\r\n"
                            "Verifying sector (0x10020000)... OK!\r\n" +
                            formatText("Verify OK: 73828 bytes in 2 sectors, CRC-32 %08X\r\n",
                                       crc32(image.data(), image.size())) +
                            "Verify time 00:00\r\n"),
              std::string::npos)
        << view.log;
    EXPECT_EQ(view.messages, std::vector<std::string>{"Download completed!"});
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].operation, Operation::Firmware);
    EXPECT_TRUE(view.outcomes[0].completed());
    EXPECT_EQ(view.progressPos, image.size());
    EXPECT_FALSE(EngineProbe::context(engine).holdsOpenFile());
    EXPECT_FALSE(link.blockMode);
    EXPECT_TRUE(phone.violations.empty());
}

TEST_F(NorVerifyTest, OnItsOwnItWritesNothingAndNamesTheFirstWrongByte) {
    const Bytes image = test::randomImage(3 * 65536, 42);
    useImage(image);
    std::copy(image.begin(), image.end(), phone.nor.begin());
    phone.nor[0x20000 + 9000] ^= 0x04;  // in sector 2, in its second block
    phone.nor[0x20000 + 9001] ^= 0x04;  // a later difference is not reached
    press(&ProtocolEngine::verify);

    EXPECT_TRUE(phone.offsetsOf(CMD_PROGRAM_64K).empty());
    EXPECT_EQ(phone.offsetsOf(CMD_DUMP_BLOCK).back(), 0x22000u);  // nothing after the bad block
    const std::string line =
        formatText("Verify FAILED at 0x10022328 (sector 2): expected %02X, read %02X",
                   image[0x22328], image[0x22328] ^ 0x04);
    EXPECT_NE(view.log.find("Verifying sector (0x10020000)... Fail!\r\n" + line + "\r\n"),
              std::string::npos)
        << view.log;
    EXPECT_EQ(view.messages, std::vector<std::string>{"Verify failed!"});
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].operation, Operation::FirmwareVerify);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
    EXPECT_EQ(view.outcomes[0].cause, FailureCause::Verify);
    EXPECT_EQ(view.outcomes[0].detail, line);
    // Finished, not abandoned: the next operation may start at once.
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_EQ(view.events.back(), "finish");

    // The same image on an unchanged phone passes.
    phone.nor[0x22328] ^= 0x04;
    phone.nor[0x22329] ^= 0x04;
    view.outcomes.clear();
    press(&ProtocolEngine::verify);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_TRUE(view.outcomes[0].completed());
    EXPECT_EQ(view.outcomes[0].bytes, image.size());
}

TEST_F(NorVerifyTest, ABlockThatComesBackGarbledIsNoVerdictAndThePhoneStaysOff) {
    useImage(test::randomImage(20000, 43));
    view.userChoices.verifyAfterDownload = true;
    view.userChoices.powerOnAfterDownload = true;
    phone.badDumpChecksumAt = 2;
    press(&ProtocolEngine::download);
    EXPECT_FALSE(phone.poweredOn);
    EXPECT_TRUE(link.isConnected());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
    EXPECT_EQ(view.outcomes[0].cause, FailureCause::PhoneReply);
    EXPECT_NE(view.log.find("The block at 0x10002000 came back with a wrong checksum"),
              std::string::npos);
}

TEST_F(NorVerifyTest, AnImageThatDoesNotFitOrAStartInsideASectorIsRefusedUnsent) {
    useImage(test::randomImage(100, 44));
    startAt("10010001");
    press(&ProtocolEngine::verify);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].cause, FailureCause::Refused);
    startAt("11FFE000");  // the last 8 KB sector
    useImage(test::randomImage(8193, 45));
    press(&ProtocolEngine::verify);
    ASSERT_EQ(view.outcomes.size(), 2u);
    EXPECT_EQ(view.outcomes[1].cause, FailureCause::Refused);
    EXPECT_TRUE(link.written.empty());
}

}  // namespace
}  // namespace zrk

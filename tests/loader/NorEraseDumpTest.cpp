// Erase and dump over the selected sectors, against the scripted boot-loader.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/Checksums.h"
#include "loader/LoaderFixture.h"
#include "support/EngineProbe.h"

namespace zrk {
namespace {

using test::Bytes;
using namespace loader;

class NorEraseDumpTest : public test::LoaderFixture {
  protected:
    NorEraseDumpTest() {
        // Something other than erased flash, so erase and dump have something to show.
        const Bytes pattern = test::randomImage(0x40000, 3);
        std::copy(pattern.begin(), pattern.end(), phone.nor.begin());
        const Bytes top = test::randomImage(0x10000, 4);
        std::copy(top.begin(), top.end(), phone.nor.begin() + 0x1FF0000);
    }
    bool erased(std::uint32_t offset, std::uint32_t size) const {
        return std::all_of(phone.nor.begin() + offset, phone.nor.begin() + offset + size,
                           [](std::uint8_t b) { return b == 0xFF; });
    }
};

TEST_F(NorEraseDumpTest, ErasesTheSelectedSectorsInOrderWithProgress) {
    // A dump refused for want of a file leaves its choice behind; it is cleared before the
    // next dialog.
    view.sectorsToSelect = {7};
    engine.dump(view.userChoices);
    ASSERT_EQ(engine.sectorChoice().at(7), 1);
    view.messages.clear();
    view.sectorsToSelect = {515, 0, 2};
    engine.erase(view.userChoices);
    clock.now += 3;
    phone.pump(engine);
    EXPECT_EQ(phone.offsetsOf(CMD_ERASE_SECTOR),
              (std::vector<std::uint32_t>{0x0, 0x20000, 0x1FF8000}));
    EXPECT_TRUE(erased(0, 0x10000));
    EXPECT_FALSE(erased(0x10000, 0x10000));
    EXPECT_TRUE(erased(0x20000, 0x10000));
    EXPECT_TRUE(erased(0x1FF8000, 0x2000));
    EXPECT_EQ(view.progressRange, 3u);
    EXPECT_EQ(view.progressHistory, (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(view.log,
              " \r\n** Erasing NOR-Flash **\r\n\r\n"
              "Erasing sector (0x10000000)... OK!\r\n"
              "Erasing sector (0x10020000)... OK!\r\n"
              "Erasing sector (0x11FF8000)... OK!\r\n"
              "\r\n** Erasing Time 00:03 **\r\n");
    EXPECT_EQ(view.messages, std::vector<std::string>{"Erasing Completed!"});
    EXPECT_EQ(view.events, (std::vector<std::string>{"lock", "finish"}));
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
}

TEST_F(NorEraseDumpTest, AWrongEraseReplyStopsTheWalkAtThatSector) {
    view.sectorsToSelect = {0, 1, 2};
    phone.badEraseReplyAt = 2;
    press(&ProtocolEngine::erase);
    EXPECT_EQ(phone.offsetsOf(CMD_ERASE_SECTOR), (std::vector<std::uint32_t>{0x0, 0x10000}));
    EXPECT_TRUE(erased(0, 0x10000));
    EXPECT_FALSE(erased(0x20000, 0x10000));
    EXPECT_EQ(view.messages, std::vector<std::string>{"Fail to erase sector!"});
    EXPECT_EQ(view.events.back(), "finish");
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
}

TEST_F(NorEraseDumpTest, NothingIsSentWithoutASelection) {
    view.acceptSectors = false;
    view.sectorsToSelect = {1};
    press(&ProtocolEngine::erase);
    press(&ProtocolEngine::dump);
    EXPECT_TRUE(view.messages.empty());
    view.acceptSectors = true;
    view.sectorsToSelect = {};
    press(&ProtocolEngine::erase);
    press(&ProtocolEngine::dump);
    EXPECT_EQ(view.messages,
              (std::vector<std::string>{"No sector selected!", "No sector selected!"}));
    view.sectorsToSelect = {1};
    view.saveFileAnswer = "";
    press(&ProtocolEngine::dump);
    EXPECT_EQ(view.messages.back(), "No file selected!");
    view.saveFileAnswer = dir.file("no-such-folder/out.hex");
    press(&ProtocolEngine::dump);
    EXPECT_EQ(view.messages.back(), "Internal Error! (file creation)");
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
}

TEST_F(NorEraseDumpTest, DumpsSectorsZeroAndTwoIntoARawFile) {
    view.sectorsToSelect = {0, 2};
    view.saveFileAnswer = dir.file("dump.hex");
    press(&ProtocolEngine::dump);
    ASSERT_EQ(view.saveRequests.size(), 1u);
    EXPECT_EQ(view.saveRequests[0].defaultExtension, ".hex");
    EXPECT_EQ(view.saveRequests[0].filter, "Hex Files (*.hex)|*.hex|All Files (*.*)|*.*||");

    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 0; i < 8; ++i)
        expected.push_back(i * 8192);
    for (std::uint32_t i = 0; i < 8; ++i)
        expected.push_back(0x20000 + i * 8192);
    EXPECT_EQ(phone.offsetsOf(CMD_DUMP_BLOCK), expected);

    Bytes want(phone.nor.begin(), phone.nor.begin() + 0x10000);
    want.insert(want.end(), phone.nor.begin() + 0x20000, phone.nor.begin() + 0x30000);
    EXPECT_EQ(test::TempDir::read(view.saveFileAnswer), want);
    EXPECT_EQ(view.progressRange, 128u);
    EXPECT_EQ(view.progressPos, 128u);
    EXPECT_NE(view.log.find("Dumping sector (0x10000000)... OK!\r\n"
                            "Dumping sector (0x10020000)... OK!\r\n"
                            "\r\n** Dump Time 00:00 **\r\n** (Total 128 KBytes) **\r\n"),
              std::string::npos);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Dump Completed!"});
    EXPECT_FALSE(EngineProbe::context(engine).holdsOpenFile());
    EXPECT_FALSE(link.blockMode);
}

TEST_F(NorEraseDumpTest, DumpsOneSmallSectorWithOneRequest) {
    view.sectorsToSelect = {511};
    view.saveFileAnswer = dir.file("top.hex");
    press(&ProtocolEngine::dump);
    EXPECT_EQ(phone.offsetsOf(CMD_DUMP_BLOCK), std::vector<std::uint32_t>{0x1FF0000});
    EXPECT_EQ(test::TempDir::read(view.saveFileAnswer),
              Bytes(phone.nor.begin() + 0x1FF0000, phone.nor.begin() + 0x1FF2000));
    EXPECT_NE(view.log.find("** (Total 8 KBytes) **\r\n"), std::string::npos);
}

TEST_F(NorEraseDumpTest, AFailedDumpLeavesAnEarlierFileAsItWasAndItsBlocksInThePartFile) {
    view.sectorsToSelect = {0, 2};
    view.saveFileAnswer = dir.file("dump.hex");
    const Bytes earlier = test::randomImage(12345, 9);
    dir.write("dump.hex", earlier);
    phone.badDumpChecksumAt = 3;
    press(&ProtocolEngine::dump);
    EXPECT_EQ(phone.offsetsOf(CMD_DUMP_BLOCK).size(), 3u);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Checksum mismatched!"});
    EXPECT_NE(view.log.find("\r\n** The blocks received so far are in " + dir.file("dump.hex") +
                            ".part.\r\n"),
              std::string::npos)
        << view.log;
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_EQ(EngineProbe::context(engine).operationKind(), OP_FIRMWARE);
    EXPECT_EQ(view.events.back(), "lock");  // abandoned until Stop
    EXPECT_TRUE(EngineProbe::context(engine).holdsOpenFile());
    engine.stop();
    EXPECT_FALSE(EngineProbe::context(engine).holdsOpenFile());
    EXPECT_EQ(test::TempDir::read(view.saveFileAnswer), earlier);
    EXPECT_EQ(test::TempDir::read(dir.file("dump.hex.part")),
              Bytes(phone.nor.begin(), phone.nor.begin() + 2 * 8192));
}

// Stop or a pulled cable in the middle of a dump: nothing said where the blocks went.
class CutShortDump : public NorEraseDumpTest {
  protected:
    void dumpUntilThirdBlockThen(const std::function<void()>& cut, OutcomeKind expected) {
        const Bytes earlier = test::randomImage(4321, 3);
        dir.write("dump.hex", earlier);
        view.sectorsToSelect = {0};
        view.saveFileAnswer = dir.file("dump.hex");
        phone.silentFromDump = 3;
        press(&ProtocolEngine::dump);
        cut();
        EXPECT_NE(view.log.find("** The dump is incomplete; the blocks received so far are in " +
                                dir.file("dump.hex") + ".part.\r\n"),
                  std::string::npos)
            << view.log;
        EXPECT_EQ(test::TempDir::read(dir.file("dump.hex")), earlier);
        EXPECT_EQ(test::TempDir::read(dir.file("dump.hex.part")),
                  Bytes(phone.nor.begin(), phone.nor.begin() + 2 * 8192));
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.outcomes[0].kind, expected);
    }
};

TEST_F(CutShortDump, ByStop) {
    dumpUntilThirdBlockThen([&] { engine.stop(); }, OutcomeKind::Stopped);
}

TEST_F(CutShortDump, ByALostLink) {
    dumpUntilThirdBlockThen([&] { engine.onLinkLost("the cable was pulled"); },
                            OutcomeKind::LinkLost);
}

// A part file left by an earlier dump is not ours to reuse: it may be a link planted there.
TEST_F(NorEraseDumpTest, AGoodDumpReplacesAnEarlierFileAndLeavesNoPartFileOfItsOwn) {
    dir.write("dump.hex", test::randomImage(100000, 5));
    const Bytes leftOver = test::randomImage(777, 6);
    dir.write("dump.hex.part", leftOver);  // left by a dump that failed
    view.sectorsToSelect = {2};
    view.saveFileAnswer = dir.file("dump.hex");
    press(&ProtocolEngine::dump);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Dump Completed!"});
    EXPECT_EQ(test::TempDir::read(view.saveFileAnswer),
              Bytes(phone.nor.begin() + 0x20000, phone.nor.begin() + 0x30000));
    EXPECT_EQ(test::TempDir::read(dir.file("dump.hex.part")), leftOver);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")),
                            std::filesystem::directory_iterator()),
              2);
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_EQ(view.outcomes.back().operation, Operation::Dump);
    EXPECT_EQ(view.outcomes.back().kind, OutcomeKind::Completed);
}

TEST_F(NorEraseDumpTest, ADumpIntoAFolderIsRefusedBeforeAnyBlockIsAskedFor) {
    // Once every block arrived and only the rename failed; now the folder is seen at the start.
    std::filesystem::create_directory(dir.file("dump.hex"));
    std::filesystem::create_directory(dir.file("dump.hex/inside"));
    view.sectorsToSelect = {511};
    view.saveFileAnswer = dir.file("dump.hex");
    press(&ProtocolEngine::dump);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Internal Error! (file creation)"});
    EXPECT_NE(view.log.find(dir.file("dump.hex") + " is a folder"), std::string::npos) << view.log;
    EXPECT_EQ(view.log.find("Dump Completed!"), std::string::npos);
    EXPECT_TRUE(phone.offsetsOf(CMD_DUMP_BLOCK).empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("dump.hex/inside")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("dump.hex.part")));
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_EQ(view.outcomes.back().operation, Operation::Dump);
    EXPECT_EQ(view.outcomes.back().cause, FailureCause::File);
}

}  // namespace
}  // namespace zrk

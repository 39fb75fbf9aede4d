// The file-system operations' exchanges against an engine with an identified phone: what each
// writes, and the typed failure each wrong reply ends in (the exchange it names, its state, the
// byte wanted and the byte that came, the words logged and carried).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Checksums.h"
#include "engine/TextFormat.h"
#include "filesystem/FileSystemPackets.h"
#include "filesystem/FileSystemPhase.h"
#include "filesystem/FileSystemStates.h"
#include "filesystem/FormatAndStatus.h"
#include "protocol/ProtocolEngine.h"
#include "support/EngineProbe.h"
#include "support/FakeClock.h"
#include "support/PhoneScript.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

using test::Bytes;
using namespace fs;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A name as the phone is given it: UTF-8 with its terminating NUL.
std::string onWire(const char* name) {
    return std::string(name) + '\0';
}

// A folder, a file of exactly one block (closed by an empty one) and a short file.
class FileSystemExchanges : public ::testing::Test {
  protected:
    FileSystemExchanges() {
        view.userChoices.speedIndex = 1;
        bringUp();
        clock.local.tm_year = 2004 - 1900;
        clock.local.tm_mday = 7;
        const std::string cfg =
            "QIXVERSION : V2.10           \r\nQIXRELEASEVERSION : R7          \r\n"
            "DIR_NAME : /d\r\nFILE_NAME : /d/a.bin\r\nFILE_SIZE : 8192\r\n"
            "FILE_NAME : /b.txt\r\nFILE_SIZE : 5\r\n";
        Bytes image = blockFile;
        image.insert(image.end(), shortFile.begin(), shortFile.end());
        imageCrc = crc32(image.data(), image.size());
        auto& choices = view.userChoices;
        choices.qixPath = dir.write("fs.qix", image);
        choices.cfgPath = dir.write("fs.cfg", bytesOf(cfg));
        choices.codePage = "CP1252";
        choices.downloadMode = DownloadMode::ModeQix;
        link.writes.clear();
    }

    void bringUp() {
        test::bringUpPhone(engine, link, view);
        view.log.clear();
        view.events.clear();
        view.outcomes.clear();
    }

    void fromPhone(std::uint8_t byte) {
        link.receive({byte});
        engine.onDataReceived();
    }

    static Bytes header(const char* name, std::uint32_t size) {
        Bytes packet = namePacket(CMD_FILE_HEADER, onWire(name));
        const auto length = bigEndian32(size);
        packet.insert(packet.end(), length.begin(), length.end());
        return packet;
    }

    static std::uint8_t sumAfterCommand(const Bytes& packet) {
        return sum8(std::span<const std::uint8_t>(packet).subspan(1));
    }

    Bytes timeWrite() const {
        const auto packet = timePacket(clock.local);
        return Bytes(packet.begin(), packet.end());
    }

    struct Reply {
        const char* exchange;
        std::int32_t state;
        std::uint8_t honest;
    };

    // What an honest phone answers after the start reply, in order.
    std::vector<Reply> honestReplies() const {
        const auto st = [](FileSystemState s) { return stateNumber(s); };
        return {
            {"mount", st(FileSystemState::WAIT_MOUNT_ECHO), CMD_MOUNT},
            {"send the image CRC", st(FileSystemState::WAIT_NAND_CRC_SUM),
             sum8(bigEndian32(imageCrc))},
            {"set the image time", st(FileSystemState::WAIT_TIME_SUM),
             sumAfterCommand(timeWrite())},
            {"send a folder name", st(FileSystemState::WAIT_DIR_SUM),
             sumAfterCommand(namePacket(CMD_MAKE_DIR, onWire("/d")))},
            {"make a folder", st(FileSystemState::WAIT_DIR_DONE), DIR_DONE},
            {"check the project version", st(FileSystemState::WAIT_VERSION), VERSION_OK},
            {"check the release version", st(FileSystemState::WAIT_RELEASE_VERSION), VERSION_OK},
            {"send a file name and size", st(FileSystemState::WAIT_HEADER_SUM),
             sumAfterCommand(header("/d/a.bin", 8192))},
            {"send a file block", st(FileSystemState::WAIT_BLOCK_SUM), sum8(blockFile)},
            {"send a file's last block", st(FileSystemState::WAIT_LAST_BLOCK_SUM), 0x00},
            {"write a file", st(FileSystemState::WAIT_FILE_DONE), FILE_DONE},
            {"send a file name and size", st(FileSystemState::WAIT_HEADER_SUM),
             sumAfterCommand(header("/b.txt", 5))},
            {"send a file's last block", st(FileSystemState::WAIT_LAST_BLOCK_SUM), sum8(shortFile)},
            {"write a file", st(FileSystemState::WAIT_FILE_DONE), FILE_DONE},
            {"unmount", st(FileSystemState::WAIT_UNMOUNT_ECHO), CMD_UNMOUNT},
        };
    }

    const Bytes blockFile = test::randomImage(8192, 11);
    const Bytes shortFile{'h', 'e', 'l', 'l', 'o'};
    std::uint32_t imageCrc = 0;
    test::FakeLink link;
    test::RecordingView view;
    test::FakeClock clock;
    ProtocolEngine engine{link, view, clock};
    test::TempDir dir;
};

TEST_F(FileSystemExchanges, AnHonestPhoneGetsEachExchangeInItsOwnWrites) {
    engine.download(view.userChoices);
    fromPhone(0x00);  // the start reply, whatever it is
    for (const Reply& reply : honestReplies()) {
        ASSERT_EQ(EngineProbe::context(engine).state(), reply.state) << reply.exchange;
        EXPECT_EQ(EngineProbe::context(engine).exchange(), reply.exchange);
        fromPhone(reply.honest);
    }
    ASSERT_EQ(view.outcomes.size(), 1u) << view.log;
    EXPECT_TRUE(view.outcomes[0].completed());
    EXPECT_EQ(view.outcomes[0].bytes, 8192u + 5);

    const auto crc = bigEndian32(imageCrc);
    const Bytes blockWrite(blockFile.begin(), blockFile.end());
    const std::vector<Bytes> expected = {
        {CMD_MOUNT},
        {CMD_NAND_CRC},
        Bytes(crc.begin(), crc.end()),
        timeWrite(),
        namePacket(CMD_MAKE_DIR, onWire("/d")),
        {CMD_SET_VERSION},
        bytesOf("V2.10           "),
        {CMD_SET_RELEASE_VERSION},
        bytesOf("R7          "),
        header("/d/a.bin", 8192),
        {CMD_FILE_BLOCK},
        blockWrite,
        {CMD_FILE_BLOCK},
        header("/b.txt", 5),
        {CMD_FILE_BLOCK},
        shortFile,
        {CMD_UNMOUNT},
    };
    ASSERT_GE(link.writes.size(), 1u);
    // The first write is the frame's start command, not the file system's.
    const std::vector<Bytes> sent(link.writes.begin() + 1, link.writes.end());
    EXPECT_EQ(sent, expected);
}

// Every exchange of the download, failed in turn after honest replies to all before it: each
// abandons the download with its own name and words, and nothing more is sent.
TEST_F(FileSystemExchanges, EachWrongReplyOfTheDownloadIsItsOwnFailure) {
    const std::vector<Reply> replies = honestReplies();
    for (std::size_t at = 0; at < replies.size(); ++at) {
        const Reply& failing = replies[at];
        SCOPED_TRACE(std::to_string(at) + " " + failing.exchange);
        view.outcomes.clear();
        view.log.clear();
        view.events.clear();
        engine.download(view.userChoices);
        fromPhone(0x00);
        for (std::size_t i = 0; i < at; ++i)
            fromPhone(replies[i].honest);
        const auto got = static_cast<std::uint8_t>(failing.honest ^ 0x5A);
        const std::size_t writesBefore = link.writes.size();
        fromPhone(got);

        std::string words;
        switch (at) {
            case 0:
                words = formatText("\n Mount Fail! (0x%X)\r\n", got);
                break;
            case 1:
                words = formatText("\n Write nand checksum Error! (0x%X)\r\n", got);
                break;
            case 2:
                words = formatText("\n Write Set QIXTIME Error! (0x%X)\r\n", got);
                break;
            case 3:
                words = "Fail! (in sending name)\r\n";
                break;
            case 4:
                words = formatText("Fail! (0x%X)\r\n", got);
                break;
            case 5:
                words = formatText("Release Version Fail! (0x%X)\r\n", got);
                break;
            case 6:
                words = formatText("Project Version Fail! (0x%X)\r\n", got);
                break;
            case 7:
            case 11:
                words =
                    formatText("Fail!(%x:%x) (in sending name and size)\r\n", got, failing.honest);
                break;
            case 10:
            case 13:
                words = formatText("Writing error(0x%X)\r\n", got);
                break;
            case 14:
                words = formatText("Unmounting Error!(0x%0X)\r\n", got);
                break;
            default:
                words = "checksum mismatched!\r\n";
                break;
        }
        ASSERT_EQ(view.outcomes.size(), 1u) << view.log;
        const OperationOutcome& o = view.outcomes[0];
        EXPECT_EQ(o.kind, OutcomeKind::Abandoned);
        EXPECT_EQ(o.cause, FailureCause::PhoneReply);
        EXPECT_EQ(o.failure.exchange, failing.exchange);
        EXPECT_EQ(o.failure.state, failing.state);
        EXPECT_EQ(o.failure.expected, std::optional<std::uint8_t>(failing.honest));
        EXPECT_EQ(o.failure.got, std::optional<std::uint8_t>(got));
        EXPECT_EQ(o.detail, words);
        EXPECT_TRUE(view.log.ends_with(words)) << view.log;
        EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
        ASSERT_FALSE(view.events.empty());
        EXPECT_EQ(view.events.back(), "lock");
        EXPECT_EQ(link.writes.size(), writesBefore);
        engine.stop();  // an abandoned download holds the controls until Stop
        bringUp();
    }
}

// Format and status wait through bytes that are no code of theirs; a failure code brings an
// error report that fails the operation in the exchange that read it.
TEST_F(FileSystemExchanges, FormatAndStatusReadTheReportTheirCodeAnnounces) {
    const Bytes report{0x02, 0x00, 0x00, 0x01, 0x10};
    const std::span<const std::uint8_t, 5> reportSpan(report.data(), 5);
    struct Run {
        void (ProtocolEngine::*button)(const UserChoices&);
        std::uint8_t command;
        std::uint8_t failureCode;
        const char* exchange;
        std::int32_t state;
        std::string line;
    };
    const std::vector<Run> runs = {
        {&ProtocolEngine::format, CMD_FORMAT, FORMAT_FAILED, "read the format error",
         stateNumber(FileSystemState::READ_FORMAT_ERROR),
         FormatAndStatus::describeErrorReport("Format", reportSpan)},
        {&ProtocolEngine::status, CMD_FS_STATUS, FS_INIT_FAILED, "read the status error",
         stateNumber(FileSystemState::READ_INIT_ERROR),
         FormatAndStatus::describeErrorReport("Init,mount", reportSpan)},
    };
    view.yesNoAnswer = true;
    for (const Run& run : runs) {
        SCOPED_TRACE(run.exchange);
        view.outcomes.clear();
        (engine.*run.button)(view.userChoices);
        fromPhone(0x00);
        ASSERT_FALSE(link.writes.empty());
        EXPECT_EQ(link.writes.back(), Bytes{run.command});
        for (const std::uint8_t noise : {0x00, 0x41, 0xFF})
            fromPhone(noise);
        EXPECT_TRUE(view.outcomes.empty());
        fromPhone(run.failureCode);
        EXPECT_EQ(EngineProbe::context(engine).state(), run.state);
        for (std::size_t i = 0; i + 1 < report.size(); ++i)
            fromPhone(report[i]);
        EXPECT_TRUE(view.outcomes.empty());
        fromPhone(report.back());
        ASSERT_EQ(view.outcomes.size(), 1u) << view.log;
        const OperationOutcome& o = view.outcomes[0];
        EXPECT_EQ(o.kind, OutcomeKind::Failed);
        EXPECT_EQ(o.cause, FailureCause::PhoneReply);
        EXPECT_EQ(o.failure.exchange, run.exchange);
        EXPECT_EQ(o.failure.state, run.state);
        EXPECT_EQ(o.detail, run.line);
        EXPECT_FALSE(o.failure.got.has_value());
        EXPECT_TRUE(view.log.ends_with(run.line)) << view.log;
        EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    }

    // The second success code reads the record as the first does.
    view.outcomes.clear();
    engine.status(view.userChoices);
    fromPhone(0x00);
    fromPhone(FS_STATUS_OK_TOO);
    const Bytes record = test::randomImage(kStatusRecordSize, 5);
    for (const std::uint8_t byte : record)
        fromPhone(byte);
    ASSERT_EQ(view.outcomes.size(), 1u) << view.log;
    EXPECT_TRUE(view.outcomes[0].completed());
    ASSERT_TRUE(engine.statusRecord().has_value());
    EXPECT_TRUE(std::equal(record.begin(), record.end(), engine.statusRecord()->begin()));

    // A later status that reads no record leaves none to show.
    engine.status(view.userChoices);
    fromPhone(0x00);
    fromPhone(FS_INIT_FAILED);
    EXPECT_FALSE(engine.statusRecord().has_value());
}

}  // namespace
}  // namespace zrk

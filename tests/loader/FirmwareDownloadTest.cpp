// Firmware download against the scripted boot-loader: what lands in NOR, the commands on the
// wire, the log, and where each failure leaves the operation.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "engine/Checksums.h"
#include "loader/LoaderFixture.h"
#include "support/EngineProbe.h"

namespace zrk {
namespace {

using test::Bytes;
using namespace loader;

class FirmwareDownloadTest : public test::LoaderFixture {
  protected:
    void useImage(const Bytes& image) { view.userChoices.binPath = dir.write("image.bin", image); }
    void useStartAddress(const std::string& text) {
        view.userChoices.useStartNorAddress = true;
        view.userChoices.startAddressText = text;
    }
};

TEST_F(FirmwareDownloadTest, ImagesOfAwkwardSizesLandInNorWholeAndComplete) {
    // An empty image is refused before anything is sent (see below).
    for (std::size_t size : {1u, 2049u, 4096u, 65536u, 65537u, 200000u}) {
        SCOPED_TRACE(size);
        const Bytes image = test::randomImage(size, static_cast<unsigned>(size));
        useImage(image);
        phone.commands.clear();
        view.messages.clear();
        press(&ProtocolEngine::download);
        EXPECT_TRUE(phone.violations.empty());
        EXPECT_TRUE(norHolds(image, 0));
        EXPECT_EQ(phone.announcedLength, size);
        EXPECT_EQ(phone.announcedCrc, crc32(image.data(), image.size()));
        const std::size_t sectors = (size + 65535) / 65536;
        EXPECT_EQ(phone.offsetsOf(CMD_PROGRAM_64K).size(), sectors);
        EXPECT_EQ(view.messages, std::vector<std::string>{"Download completed!"});
        EXPECT_EQ(view.progressRange, size);
        EXPECT_EQ(view.progressPos, size);
        EXPECT_NE(view.log.find("** (Total " + std::to_string(size) + " bytes) **\r\n"),
                  std::string::npos);
        EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
        EXPECT_FALSE(EngineProbe::context(engine).holdsOpenFile());
        EXPECT_EQ(view.events.back(), "finish");
    }
}

TEST_F(FirmwareDownloadTest, OneSectorImageLogsEveryStepVerbatim) {
    useImage(test::randomImage(2049));
    const auto crc = fileCrc32(view.userChoices.binPath)->crc;
    engine.download(view.userChoices);
    clock.now += 75;  // 1 min 15 s on the wire
    phone.pump(engine);
    char crcText[16];
    std::snprintf(crcText, sizeof crcText, "%x", crc);
    EXPECT_EQ(view.log, std::string(" \r\n** Start Downloading BINARY file **\r\n") +
                            "Sending Binary CheckSum:" + crcText + " \n" +
                            "\r\nSend the offset of writing address (0x00000000)... OK!\r\n"
                            "** Send file length(2049 bytes)... OK!\r\n"
                            "** Start BINARY downloading...\r\n"
                            "Address 0x10000000... OK!\r\n"
                            "\r\n** Downloading Time 01:15 **\r\n"
                            "** (Total 2049 bytes) **\r\n");
    EXPECT_EQ(view.firmwareSizeText, "2049");
    // Command, offset and the first block go out at once; the second block after one ack.
    ASSERT_GE(link.writes.size(), 3u);
    const auto n = link.writes.size();
    EXPECT_EQ(link.writes[n - 3], (Bytes{CMD_PROGRAM_64K, 0, 0, 0, 0}));
    EXPECT_EQ(link.writes[n - 2].size(), 2048u);
    EXPECT_EQ(link.writes[n - 1].size(), 1u);
}

TEST_F(FirmwareDownloadTest, AStartAddressWritesFromItsSector) {
    const Bytes image = test::randomImage(70000);
    useImage(image);
    useStartAddress("10020000");
    press(&ProtocolEngine::download);
    EXPECT_NE(view.log.find("\r\n **NOR ADDR changed (0x00020000)... \r\n **Sector index(2)... "),
              std::string::npos);
    EXPECT_EQ(phone.offsetsOf(CMD_WRITE_OFFSET), std::vector<std::uint32_t>{0x20000});
    EXPECT_EQ(phone.offsetsOf(CMD_PROGRAM_64K), (std::vector<std::uint32_t>{0x20000, 0x30000}));
    EXPECT_TRUE(norHolds(image, 0x20000));
    EXPECT_EQ(phone.nor[0x1FFFF], 0xFF);  // nothing before the start
    EXPECT_EQ(view.progressPos, 70000u);
    EXPECT_NE(view.log.find("Address 0x10030000... "), std::string::npos);
}

TEST_F(FirmwareDownloadTest, TheSmallSectorsAtTheTopTakeTheSmallProgramCommand) {
    // From the last 64 KB sector into the 8 KB ones: one FAh, then FCh with 4 blocks each.
    const Bytes image = test::randomImage(65536 + 3 * 8192 + 1);
    useImage(image);
    useStartAddress("0x11fe0000");
    press(&ProtocolEngine::download);
    EXPECT_TRUE(phone.violations.empty());
    EXPECT_EQ(phone.offsetsOf(CMD_PROGRAM_64K), std::vector<std::uint32_t>{0x1FE0000});
    EXPECT_EQ(phone.offsetsOf(CMD_PROGRAM_SMALL),
              (std::vector<std::uint32_t>{0x1FF0000, 0x1FF2000, 0x1FF4000, 0x1FF6000}));
    EXPECT_TRUE(norHolds(image, 0x1FE0000));
    EXPECT_EQ(view.messages, std::vector<std::string>{"Download completed!"});
}

TEST_F(FirmwareDownloadTest, AnImageFillingTheFlashToItsLastByteIsAccepted) {
    const Bytes image = test::randomImage(8 * 8192);
    useImage(image);
    useStartAddress("11FF0000");
    press(&ProtocolEngine::download);
    EXPECT_TRUE(norHolds(image, 0x1FF0000));
    EXPECT_EQ(phone.offsetsOf(CMD_PROGRAM_SMALL).size(), 8u);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Download completed!"});
}

TEST_F(FirmwareDownloadTest, AnImageTooBigForTheFlashFromItsStartIsRefusedBeforeAnyWrite) {
    useImage(test::randomImage(8 * 8192 + 1));
    useStartAddress("11FF0000");
    press(&ProtocolEngine::download);
    EXPECT_EQ(link.written, Bytes{CMD_START});  // nothing after the start command
    EXPECT_NE(view.log.find("(65537 bytes) does not fit the flash: from 0x11FF0000 there are only "
                            "65536 bytes"),
              std::string::npos);
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_EQ(view.events.back(), "finish");  // usable again without Stop
}

TEST_F(FirmwareDownloadTest, BadStartAddressesAbandonWithTheirLine) {
    struct Case {
        const char* text;
        const char* logTail;
    };
    const Case cases[] = {
        {"0x10010001",
         "\r\n **NOR ADDR changed (0x00010001)... "
         "\r\n **Not Sector Begin Address(0x00010001)... "},
        {"18000000", "\r\n **Not defined Address Error "},
        {"1002ZZ", "\r\n **Not defined Address Error "},
        {"0FFFFFFF", "\r\n **Not defined Address Error "},
    };
    useImage(test::randomImage(10));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EngineProbe::context(engine).setState(IDLE);  // what Stop and START again would give
        useStartAddress(c.text);
        link.takeWritten();
        view.events.clear();
        press(&ProtocolEngine::download);
        const std::string tail = c.logTail;
        EXPECT_EQ(view.log.substr(view.log.size() - tail.size()), tail);
        EXPECT_EQ(link.written, Bytes{CMD_START});
        EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
        EXPECT_EQ(view.events, std::vector<std::string>{"lock"});  // abandoned: still locked
    }
}

TEST_F(FirmwareDownloadTest, AMissingImageSendsNothing) {
    view.userChoices.binPath = dir.file("missing.bin");
    press(&ProtocolEngine::download);
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(view.messages, std::vector<std::string>{"Fail to open bin file!"});
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
}

TEST_F(FirmwareDownloadTest, AnImageThatIsEmptyOrNotARegularFileIsRefusedBeforeAnythingIsSent) {
    // None of these may be opened for reading: a FIFO would wait for a writer for ever.
    const std::string folder = dir.file("image.d");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string empty = dir.write("empty.bin", {});
    struct Case {
        std::string path;
        std::string why;
    };
    std::vector<Case> cases = {
        {empty, "is empty"},
        {folder, "is not a regular file"},
    };
#ifdef _WIN32
    cases.push_back({"NUL", "is not a regular file"});
#else
    const std::string fifo = dir.file("image.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo, "is not a regular file"});
    cases.push_back({"/dev/zero", "is not a regular file"});
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        view.log.clear();
        view.messages.clear();
        view.userChoices.binPath = c.path;
        press(&ProtocolEngine::download);
        EXPECT_TRUE(link.written.empty());
        EXPECT_EQ(view.log, "\r\n** " + c.path + " " + c.why + "; nothing was sent.\r\n");
        EXPECT_EQ(view.messages, std::vector<std::string>{"Fail to open bin file!"});
        ASSERT_FALSE(view.outcomes.empty());
        EXPECT_EQ(view.outcomes.back().operation, Operation::Firmware);
        EXPECT_EQ(view.outcomes.back().kind, OutcomeKind::Failed);
        EXPECT_EQ(view.outcomes.back().cause, FailureCause::File);
        EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    }
    // The phone is still there for an image that is one.
    useImage(test::randomImage(100, 2));
    press(&ProtocolEngine::download);
    EXPECT_TRUE(norHolds(test::randomImage(100, 2), 0));
}

TEST_F(FirmwareDownloadTest, ABadSectorSumFinishesTheDownload) {
    useImage(test::randomImage(3 * 65536));
    phone.badSectorSumAt = 2;
    press(&ProtocolEngine::download);
    const std::string tail = "OK!\r\nAddress 0x10010000... Fail to download sector!\r\n";
    EXPECT_EQ(view.log.substr(view.log.size() - tail.size()), tail);
    EXPECT_EQ(phone.offsetsOf(CMD_PROGRAM_64K).size(), 2u);  // nothing after the bad sector
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_FALSE(EngineProbe::context(engine).holdsOpenFile());
    EXPECT_EQ(view.events.back(), "finish");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(FirmwareDownloadTest, WrongRepliesToTheHeaderEndAsEachSays) {
    useImage(test::randomImage(100));
    // The reply to the start command is not inspected; the CRC's sum is.
    phone.startReply = 0xFF;
    engine.download(view.userChoices);
    link.receive({0xFF});
    engine.onDataReceived();
    ASSERT_EQ(EngineProbe::context(engine).state(), stateNumber(LoaderState::WAIT_IMAGE_CRC_SUM));
    link.receive({static_cast<std::uint8_t>(
        EngineProbe::context(engine).armedExchange()->expectedReply + 1)});
    engine.onDataReceived();
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_EQ(view.events.back(), "lock");  // abandoned
    EXPECT_NE(view.log.find("Fail! (checksum reply 0x"), std::string::npos);

    engine.stop();
    EXPECT_FALSE(link.connected);
}

TEST_F(FirmwareDownloadTest, AStopSaysWhatItCutShortAndWhatThatLeavesOnThePhone) {
    useImage(test::randomImage(100));
    engine.download(view.userChoices);
    engine.stop();
    const std::string close = "\r\n** Close COM port\r\n";
    ASSERT_GE(view.log.size(), close.size());
    const std::string tail = view.log.substr(view.log.rfind(close));
    EXPECT_EQ(tail, close +
                        "** Stopped during the firmware download: the flash may be incomplete; "
                        "download again before switching the phone on.\r\n");
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_EQ(view.outcomes.back().kind, OutcomeKind::Stopped);
}

TEST_F(FirmwareDownloadTest, AStopAfterTheEndOrAFailureAddsNoVerdict) {
    useImage(test::randomImage(5000));
    press(&ProtocolEngine::download);
    engine.stop();
    EXPECT_EQ(view.log.find("** Stopped"), std::string::npos) << view.log;
}

TEST_F(FirmwareDownloadTest, PowerOnAfterDownloadSendsFdLastAndStops) {
    useImage(test::randomImage(5000));
    view.userChoices.powerOnAfterDownload = true;
    press(&ProtocolEngine::download);
    EXPECT_EQ(link.writes.back(), Bytes{CMD_POWER_ON});
    EXPECT_TRUE(phone.poweredOn);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(EngineProbe::context(engine).loaderReady(), 0);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Download completed!"});
    EXPECT_EQ(view.events.back(), "stopped");
}

TEST_F(FirmwareDownloadTest, FileSystemModesWithoutTheirImageSendNothing) {
    useImage(test::randomImage(100));
    view.userChoices.qixPath = dir.file("missing.qix");
    for (auto mode : {DownloadMode::ModeQix, DownloadMode::ModeBinAndQix}) {
        view.userChoices.downloadMode = mode;
        view.messages.clear();
        link.takeWritten();
        press(&ProtocolEngine::download);
        EXPECT_TRUE(link.written.empty());
        EXPECT_EQ(view.messages, std::vector<std::string>{"Fail to open QIX file!"});
        EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    }
    // A code page that does not exist here is refused before the phone is asked anything.
    view.userChoices.qixPath = dir.write("fs.qix", {});
    view.userChoices.codePage = "NO-SUCH-PAGE";
    view.messages.clear();
    press(&ProtocolEngine::download);
    EXPECT_TRUE(link.written.empty());
    EXPECT_NE(view.log.find("NO-SUCH-PAGE"), std::string::npos);
}

TEST_F(FirmwareDownloadTest, ButtonsDoNothingWhileAnOperationRunsOrBeforeIdentification) {
    useImage(test::randomImage(100));
    engine.download(view.userChoices);
    const auto written = link.written;
    engine.download(view.userChoices);
    engine.erase(view.userChoices);
    EXPECT_EQ(link.written, written);
    EXPECT_EQ(view.sectorDialogs, 0);

    engine.stop();
    link.takeWritten();
    engine.download(view.userChoices);
    EXPECT_TRUE(link.written.empty());
    EXPECT_NE(view.log.find("The phone is not ready"), std::string::npos);
}

}  // namespace
}  // namespace zrk

namespace zrk {
namespace {

// What a front end learns: one typed outcome per operation, whatever the texts said.
TEST_F(FirmwareDownloadTest, EveryDownloadEndsInOneOutcomeOfItsKind) {
    const auto last = [&] {
        EXPECT_EQ(view.outcomes.size(), 1u);
        OperationOutcome outcome =
            view.outcomes.empty() ? OperationOutcome{} : view.outcomes.back();
        view.outcomes.clear();
        return outcome;
    };

    useImage(test::randomImage(70000));
    press(&ProtocolEngine::download);
    OperationOutcome o = last();
    EXPECT_EQ(o.operation, Operation::Firmware);
    EXPECT_EQ(o.kind, OutcomeKind::Completed);
    EXPECT_EQ(o.bytes, 70000u);

    phone.badSectorSumAt = 3;  // the first sector of this download: the phone counts on
    press(&ProtocolEngine::download);
    o = last();
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.cause, FailureCause::PhoneReply);
    phone.badSectorSumAt = 0;

    view.userChoices.binPath = dir.file("missing.bin");
    press(&ProtocolEngine::download);
    o = last();
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.cause, FailureCause::File);

    // Stop in the middle: the outcome says so, not "failed".
    useImage(test::randomImage(200000));
    engine.download(view.userChoices);
    engine.stop();
    o = last();
    EXPECT_EQ(o.kind, OutcomeKind::Stopped);
}

TEST_F(FirmwareDownloadTest, ALostLinkEndsTheRunningOperationAsLinkLost) {
    useImage(test::randomImage(200000));
    engine.download(view.userChoices);
    engine.onLinkLost("the device hung up");
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::LinkLost);
    EXPECT_EQ(view.outcomes[0].detail, "the device hung up");
}

}  // namespace
}  // namespace zrk

namespace zrk {
namespace {

// Every sector sum matches what was sent, so only the host can tell that the bytes sent are not
// the image whose CRC the phone was given: the download must not end as completed, and nothing
// that follows a completed firmware part (power-on, the file system) may run.
TEST_F(FirmwareDownloadTest, AnImageRewrittenWhileItIsSentFailsBeforeAnythingFollows) {
    const std::string qix = dir.write("fs.qix", {});
    const std::string cfg = "QIXVERSION : V1              \r\n";
    dir.write("fs.cfg", Bytes(cfg.begin(), cfg.end()));
    for (const DownloadMode mode : {DownloadMode::ModeBin, DownloadMode::ModeBinAndQix}) {
        SCOPED_TRACE(static_cast<int>(mode));
        view.userChoices.downloadMode = mode;
        view.userChoices.qixPath = qix;
        view.userChoices.cfgPath = dir.file("fs.cfg");
        view.userChoices.powerOnAfterDownload = true;
        view.outcomes.clear();
        view.messages.clear();
        view.log.clear();
        const Bytes original = test::randomImage(200000, 11);
        useImage(original);
        engine.download(view.userChoices);
        // A sector and a half: the file is read a buffer ahead, the rest is still on disk.
        phone.pump(engine, 50);
        ASSERT_NE(EngineProbe::context(engine).state(), IDLE);
        dir.write("image.bin", test::randomImage(200000, 12));  // in place, the same size
        phone.pump(engine);

        ASSERT_EQ(view.outcomes.size(), 1u) << view.log;
        EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
        EXPECT_EQ(view.outcomes[0].cause, FailureCause::File);
        EXPECT_NE(
            view.log.find(view.userChoices.binPath + ": the image changed while it was being sent"),
            std::string::npos)
            << view.log;
        EXPECT_EQ(view.log.find("Downloading Time"), std::string::npos);
        EXPECT_EQ(view.log.find("Start Downloading QIX file **"), std::string::npos);
        EXPECT_TRUE(view.messages.empty());
        EXPECT_FALSE(phone.poweredOn);
        EXPECT_TRUE(phone.violations.empty());
        EXPECT_FALSE(EngineProbe::context(engine).holdsOpenFile());
        EXPECT_FALSE(norHolds(original, 0));
    }
}

}  // namespace
}  // namespace zrk

// "Verify after download" through the window against the phone simulator: the box is kept in
// the settings; a clean download reads back and says so; a byte the phone stored wrong while
// its sums stayed right is found at its address (or file and offset), and power-on waits for a
// good verify.
#include <QCheckBox>
#include <QFile>

#include "SimWindowFixture.h"
#include "engine/Checksums.h"
#include "engine/OperationFrame.h"
#include "engine/TextFormat.h"
#include "support/TestImages.h"

namespace zrk::test {
namespace {

class WindowVerify : public SimWindowFixture {
  protected:
    void bringUpWith(const sim::SimOptions& options) {
        startPhone(options);
        chooseSpeed(3);
        ASSERT_TRUE(bringUp()) << log();
    }
    void tickVerify() {
        if (!w<QCheckBox>("verifyBox")->isChecked())
            click("verifyBox");
        ASSERT_TRUE(window->choices().verifyAfterDownload);
    }
    void pickFileSystem() {
        QFile cfg(dir.filePath(QStringLiteral("fs.cfg")));
        ASSERT_TRUE(cfg.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cfg.write(
            "QIXVERSION : V1.0            \r\nDIR_NAME : /d\r\nFILE_NAME : /d/a.txt\r\n"
            "FILE_SIZE : 3\r\nFILE_NAME : /b.txt\r\nFILE_SIZE : 2\r\n");
        cfg.close();
        QFile qix(dir.filePath(QStringLiteral("fs.qix")));
        ASSERT_TRUE(qix.open(QIODevice::WriteOnly | QIODevice::Truncate));
        qix.write("aaabb");
        qix.close();
        prompter.openAnswers.push_back(dir.filePath(QStringLiteral("fs.qix")));
        click("qixButton");
    }
};

TEST_F(WindowVerify, TheBoxIsKeptAndACleanDownloadReadsBackItsImage) {
    bringUpWith({});
    EXPECT_FALSE(w<QCheckBox>("verifyBox")->isChecked());
    tickVerify();
    EXPECT_EQ(settings->readInt(QStringLiteral("VerifyAfterDownload")), 1);

    const Bytes image = randomImage(2 * 65536 + 100, 31);
    pickImage(image);
    std::string boxWhileRunning;
    prompter.onMessage = [&] { boxWhileRunning = w("verifyBox")->isEnabled() ? "E" : "D"; };
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    EXPECT_EQ(boxWhileRunning, "D");
    EXPECT_TRUE(
        logHas("** (Total 131172 bytes) **\r\n\r\n** Verifying NOR-Flash **\r\n"
               "Verifying sector (0x10000000)... OK!\r\n"));
    EXPECT_TRUE(
        logHas("Verifying sector (0x10020000)... OK!\r\n"
               "Verify OK: 131172 bytes in 3 sectors, CRC-32 " +
               formatText("%08X", crc32(image.data(), image.size())) + "\r\n"))
        << log();
    EXPECT_TRUE(logHas("Verify time "));
    EXPECT_EQ(progress().value(), static_cast<int>(image.size()));
    EXPECT_EQ(controls(), kLoaderLayout);
    EXPECT_TRUE(w("verifyBox")->isEnabled());

    // Both parts, each read back before the next step.
    click("modeBinQixRadio");
    pickFileSystem();
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    const std::string firmwareOk = "Verify OK: 131172 bytes in 3 sectors";
    const std::string fileSystemOk = "Verify OK: 5 bytes in 2 files, 1 directories\r\n";
    ASSERT_TRUE(logHas(firmwareOk) && logHas(fileSystemOk)) << log();
    EXPECT_LT(log().find(firmwareOk), log().find("** Start Downloading QIX file **"));
    EXPECT_EQ(sim->nandFile("/b.txt"), (Bytes{'b', 'b'}));
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();

    // Kept for the next run.
    window.reset();
    port.close();
    window = std::make_unique<MainWindow>(port, *settings, prompter);
    EXPECT_TRUE(w<QCheckBox>("verifyBox")->isChecked());
}

TEST_F(WindowVerify, AWrongByteIsFoundAtItsAddressAndThePhoneIsNotSwitchedOn) {
    sim::SimOptions options;
    options.faults.corruptNor = 0x10000 + 4321;
    bringUpWith(options);
    tickVerify();
    click("powerOnToggle");
    const Bytes image = randomImage(65536 + 8192, 32);
    pickImage(image);
    hostBytes.clear();
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Verify failed!");
    EXPECT_EQ(prompter.messages.back().icon, MessageIcon::Error);
    // The download itself went through as the protocol allows.
    EXPECT_TRUE(logHas("** (Total 73728 bytes) **\r\n"));
    const std::uint8_t sent = image[0x10000 + 4321];
    EXPECT_TRUE(logHas("Verifying sector (0x10010000)... Fail!\r\n" +
                       formatText("Verify FAILED at 0x100110E1 (sector 1): expected %02X, read "
                                  "%02X\r\n",
                                  sent, static_cast<std::uint8_t>(~sent))))
        << log();
    // No power-on: the link stays up for another try.
    // The last bytes sent asked for the block that differs: nothing followed it.
    const Bytes bytes = hostBytes.bytes();
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(Bytes(bytes.end() - 5, bytes.end()), (Bytes{0xD8, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_TRUE(port.isConnected());
    EXPECT_EQ(controls(), kLoaderLayout);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowVerify, AFileSystemIsReadBackAndAWrongByteNamesItsFile) {
    sim::SimOptions options;
    options.faults.corruptNandPath = "/b.txt";
    options.faults.corruptNandOffset = 1;
    bringUpWith(options);
    tickVerify();
    click("modeQixRadio");
    pickFileSystem();
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Verify failed!");
    EXPECT_TRUE(
        logHas("Checking a directory \"/d\"... OK!\r\n"
               "Verifying a file \"/d/a.txt\" (3 bytes)... OK!\r\n"
               "Verifying a file \"/b.txt\" (2 bytes)... Fail!\r\n"
               "Verify FAILED at offset 1 of \"/b.txt\": expected 62, read 9D\r\n"))
        << log();
    EXPECT_EQ(controls(), layout("DDDEDE EEEEE EE EEE EEEE DDD EE E DD EEEE"));
    // The explorer gave the link back: the main engine runs the next operation.
    click("verifyBox");
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowVerify, StopDuringTheFileSystemReadBackGivesTheLinkBackForTheNextStart) {
    sim::SimOptions options;
    options.latency = std::chrono::milliseconds(5);  // time enough to press Stop half-way
    bringUpWith(options);
    tickVerify();
    click("modeQixRadio");
    pickFileSystem();
    click("downloadButton");
    ASSERT_TRUE(pumpUntil([&] { return logHas("Checking a directory \"/d\"... "); })) << log();
    click("stopButton");
    EXPECT_FALSE(port.isConnected());
    EXPECT_EQ(controls(), layout("EEEDEE DDDDD DD EEE EEEE DDD EE E DD EEEE"));  // QIX mode
    // The explorer is off the link: the main engine answers the next START.
    ASSERT_TRUE(bringUp()) << log();
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    EXPECT_TRUE(logHas("Verify OK: 5 bytes in 2 files, 1 directories\r\n")) << log();
}

}  // namespace
}  // namespace zrk::test

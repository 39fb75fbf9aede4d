// NOR work through the window against the phone simulator: download, erase and dump from their
// buttons, through the file, sector and save dialogs; the simulator's NOR is the judge.
#include <QCoreApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "SimWindowFixture.h"
#include "engine/Checksums.h"
#include "engine/OperationFrame.h"
#include "support/TestImages.h"

namespace zrk::test {
namespace {

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Ticks a sector line as a person does: a click, then a double-click on it.
void doubleClickLine(QDialog& dialog, int line) {
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("sectorList"));
    ASSERT_NE(list, nullptr);
    list->scrollToItem(list->item(line));
    QCoreApplication::processEvents();  // lay the rows out before aiming at one
    const QPoint at = list->visualItemRect(list->item(line)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

class WindowNor : public SimWindowFixture {
  protected:
    void SetUp() override {
        startPhone(simulatorOptions());
        chooseSpeed(3);
        ASSERT_TRUE(bringUp()) << log();
    }
    virtual sim::SimOptions simulatorOptions() { return {}; }

    // The sector window: the From..To range, then START.
    void selectRangeInDialog(int from, int to) {
        prompter.onDialog = [from, to](QDialog& dialog) {
            dialog.findChild<QComboBox*>(QStringLiteral("fromList"))->setCurrentIndex(from);
            dialog.findChild<QComboBox*>(QStringLiteral("toList"))->setCurrentIndex(to);
            dialog.findChild<QPushButton*>(QStringLiteral("rangeButton"))->click();
            return int(QDialog::Accepted);
        };
    }
    void doubleClickInDialog(std::vector<int> lines) {
        prompter.onDialog = [lines](QDialog& dialog) {
            dialog.show();
            for (int line : lines)
                doubleClickLine(dialog, line);
            return int(QDialog::Accepted);
        };
    }
    // Waits for an operation that ends without a message box.
    bool waitForLog(const std::string& ending) {
        return pumpUntil([&] { return log().ends_with(ending); });
    }
};

TEST_F(WindowNor, DownloadsAnImageAndSaysSo) {
    const Bytes image = randomImage(3 * 65536 + 777, 11);
    const std::string path = pickImage(image);
    EXPECT_EQ(text("binSizeField"), QString::number(image.size()));
    std::string whileTheBoxIsUp;
    prompter.onMessage = [&] { whileTheBoxIsUp = controls(); };
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(whileTheBoxIsUp, kLockedLayout);

    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Download completed!");
    EXPECT_EQ(prompter.messages[0].icon, MessageIcon::Information);
    EXPECT_TRUE(log().starts_with(" \r\n** Start Downloading BINARY file **\r\n"));
    EXPECT_TRUE(logHas("Address 0x10030000... OK!\r\n"));
    EXPECT_TRUE(log().ends_with("** (Total 197385 bytes) **\r\n"));
    EXPECT_EQ(progress().maximum(), static_cast<int>(image.size()));
    EXPECT_EQ(progress().value(), static_cast<int>(image.size()));
    EXPECT_EQ(controls(), kLoaderLayout);

    EXPECT_TRUE(nor(0, image.size()) == image);
    EXPECT_EQ(sim->counters().imageCrc, fileCrc32(path)->crc);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowNor, DownloadsFromTheStartAddressAndRefusesOneInsideASector) {
    const Bytes image = randomImage(65537, 12);
    pickImage(image);
    click("startAddressBox");
    EXPECT_EQ(text("startAddressField"), "10000000");
    w<QLineEdit>("startAddressField")->setText(QStringLiteral("10020000"));
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    EXPECT_TRUE(logHas("\r\n **NOR ADDR changed (0x00020000)... \r\n **Sector index(2)... "));
    EXPECT_TRUE(nor(0x20000, image.size()) == image);
    EXPECT_TRUE(nor(0, 0x20000) == Bytes(0x20000, 0xFF));
    EXPECT_EQ(progress().value(), static_cast<int>(image.size()));
    // The ticked box keeps its field editable for the next download.
    EXPECT_EQ(controls(), layout("DDDEDE EEEEE EE EEE EEEE EEE DD D EE EEEE"));

    // Not a sector start: abandoned, the controls stay locked until Stop.
    w<QLineEdit>("startAddressField")->setText(QStringLiteral("0x10010001"));
    click("downloadButton");
    // What to do next is said once, on its own line after what happened.
    ASSERT_TRUE(waitForLog(
        "\r\n **Not Sector Begin Address(0x00010001)... \r\nPress Stop to start again.\r\n"));
    EXPECT_EQ(log().find("Press Stop"), log().rfind("Press Stop"));
    EXPECT_EQ(engine().stage(), Stage::Ready);
    EXPECT_EQ(controls(), kLockedLayout);
    click("stopButton");
    EXPECT_EQ(controls(), kUnconnectedLayout);
    ASSERT_TRUE(bringUp()) << log();
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowNor, PowerOnAfterDownloadEndsTheLinkAndStartWorksAgain) {
    const Bytes image = randomImage(2049, 13);
    pickImage(image);
    click("powerOnToggle");
    ASSERT_TRUE(w<QAbstractButton>("powerOnToggle")->isChecked());
    hostBytes.clear();
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    ASSERT_TRUE(pumpUntil([&] { return linkStopped(); }));

    const Bytes sent = hostBytes.bytes();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), CMD_POWER_ON);
    EXPECT_TRUE(log().ends_with("\r\n** Close COM port\r\n"));
    EXPECT_EQ(text("flashNameField"), "");
    EXPECT_EQ(controls(), kUnconnectedLayout);
    EXPECT_TRUE(nor(0, image.size()) == image);

    // The phone runs its new firmware; switched on again it offers the boot ROM as before.
    ASSERT_TRUE(bringUp()) << log();
    EXPECT_EQ(text("flashNameField"), "LMR20TQ55P");
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowNor, ErasesThreeSectorsAndDumpsTwo) {
    const Bytes image = randomImage(4 * 65536, 14);
    pickImage(image);
    ASSERT_TRUE(operate("downloadButton")) << log();

    selectRangeInDialog(1, 3);
    // Every reading of the clock is two seconds later: the bar's rate counts the sectors.
    std::chrono::steady_clock::time_point now{};
    window->setProgressClock([&now] { return now += std::chrono::seconds(2); });
    ASSERT_TRUE(operate("eraseButton")) << log();
    EXPECT_EQ(progress().text(), "100%  \u00b7  0.5 sectors/s");
    EXPECT_EQ(prompter.lastDialogTitle, "Flash Sector Information");
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Erasing Completed!");
    EXPECT_EQ(prompter.messages[0].icon, MessageIcon::Information);
    EXPECT_TRUE(
        logHas("Erasing sector (0x10010000)... OK!\r\nErasing sector (0x10020000)... "
               "OK!\r\nErasing sector (0x10030000)... OK!\r\n"));
    EXPECT_EQ(progress().maximum(), 3);
    EXPECT_EQ(progress().value(), 3);
    EXPECT_EQ(controls(), kLoaderLayout);
    EXPECT_TRUE(nor(0, 65536) == Bytes(image.begin(), image.begin() + 65536));
    EXPECT_TRUE(nor(65536, 3 * 65536) == Bytes(3 * 65536, 0xFF));

    const QString dumpPath = dir.filePath(QStringLiteral("sectors.hex"));
    prompter.saveAnswers.push_back(dumpPath);
    doubleClickInDialog({0, 2});
    ASSERT_TRUE(operate("dumpButton")) << log();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Dump Completed!");
    EXPECT_EQ(prompter.messages[0].icon, MessageIcon::Information);
    ASSERT_EQ(prompter.saveRequests.size(), 1u);
    EXPECT_EQ(prompter.saveRequests[0].defaultSuffix, "hex");
    EXPECT_TRUE(log().ends_with("** (Total 128 KBytes) **\r\n"));
    EXPECT_EQ(progress().maximum(), 128);
    EXPECT_EQ(progress().value(), 128);
    EXPECT_EQ(controls(), kLoaderLayout);

    QFile dump(dumpPath);
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    const QByteArray contents = dump.readAll();
    const Bytes fromFile(contents.begin(), contents.end());
    EXPECT_EQ(fromFile.size(), 131072u);
    EXPECT_TRUE(fromFile == concat(nor(0, 65536), nor(2 * 65536, 65536)));
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

// Stop, Exit, Esc and the close request during a write ask first; No lets the write finish
// untouched, Yes ends it, and outside a write nothing is asked.
TEST_F(WindowNor, InterruptingAWriteAsksFirstAndNoLetsItFinish) {
    const char* question = "The phone's flash will be left incomplete. Stop anyway?";
    const Bytes image = randomImage(8 * 65536, 16);
    pickImage(image);
    int rejected = 0;
    QObject::connect(window.get(), &QDialog::rejected, [&] { ++rejected; });

    prompter.yes = false;
    click("downloadButton");
    ASSERT_TRUE(pumpUntil([&] { return progress().value() > 0; })) << log();
    click("stopButton");
    window->reject();  // Exit, Esc and the close request all end here
    ASSERT_EQ(prompter.questions, QStringList(2, question));
    EXPECT_EQ(prompter.defaults, std::vector<DefaultAnswer>(2, DefaultAnswer::No));
    EXPECT_EQ(rejected, 0);
    ASSERT_TRUE(pumpUntil([&] { return !prompter.messages.empty(); })) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    EXPECT_TRUE(nor(0, image.size()) == image);

    // Nothing is being written now: Stop acts at once.
    prompter.yes = true;
    click("stopButton");
    EXPECT_EQ(prompter.questions.size(), 2);
    ASSERT_TRUE(pumpUntil([&] { return linkStopped(); }));

    ASSERT_TRUE(bringUp()) << log();
    const Bytes other = randomImage(8 * 65536, 17);
    pickImage(other, "other.bin");
    click("downloadButton");
    ASSERT_TRUE(pumpUntil([&] { return progress().value() > 0; })) << log();
    click("stopButton");
    EXPECT_EQ(prompter.questions.size(), 3);
    ASSERT_TRUE(pumpUntil([&] { return linkStopped(); }));
    EXPECT_FALSE(nor(0, other.size()) == other);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowNor, AStoppedDownloadSaysWhatItLeavesOnThePhone) {
    pickImage(randomImage(8 * 65536, 18));
    click("downloadButton");
    ASSERT_TRUE(pumpUntil([&] { return progress().value() > 0; })) << log();
    click("stopButton");  // and yes, stop the write
    ASSERT_TRUE(pumpUntil([&] { return linkStopped(); }));
    EXPECT_TRUE(
        logHas("\r\n** Close COM port\r\n** Stopped during the firmware download: the "
               "flash may be incomplete; download again before switching the phone "
               "on.\r\n"))
        << log();
}

TEST_F(WindowNor, AnImageThatIsNoFirmwareIsWrittenOnlyWhenConfirmed) {
    Bytes program = randomImage(70000, 19);
    const Bytes elf = {0x7F, 'E', 'L', 'F'};
    std::copy(elf.begin(), elf.end(), program.begin());
    pickImage(program, "program.bin");
    prompter.yes = false;
    click("downloadButton");
    ASSERT_EQ(prompter.questions.size(), 1) << log();
    EXPECT_TRUE(prompter.questions[0].contains("looks like an ELF program, not a firmware image"))
        << prompter.questions[0].toStdString();
    EXPECT_EQ(prompter.defaults.back(), DefaultAnswer::No);
    EXPECT_EQ(engine().stage(), Stage::Ready);
    EXPECT_EQ(controls(), kLoaderLayout);
    EXPECT_FALSE(nor(0, 4) == elf);

    prompter.yes = true;
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    EXPECT_TRUE(nor(0, program.size()) == program);
}

class WindowNorFaults : public WindowNor {
  protected:
    sim::SimOptions simulatorOptions() override {
        sim::SimOptions options;
        options.faults.badSectorSum = 1;
        options.faults.badEraseReply = 5;
        options.faults.badDumpBlock = 50;  // the third 8 KB block of sector 6
        return options;
    }
};

TEST_F(WindowNorFaults, EachFaultEndsAsItShouldAndTheWindowStaysUsable) {
    // A wrong sector sum finishes the download: no box, the controls come back.
    pickImage(randomImage(3 * 65536, 15));
    click("downloadButton");
    ASSERT_TRUE(waitForLog("Address 0x10010000... Fail to download sector!\r\n"));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(controls(), kLoaderLayout);

    // A wrong erase reply stops the walk at that sector and finishes.
    selectRangeInDialog(4, 6);
    ASSERT_TRUE(operate("eraseButton")) << log();
    EXPECT_EQ(lastMessage(), "Fail to erase sector!");
    EXPECT_TRUE(log().ends_with("Erasing sector (0x10050000)... "));
    EXPECT_EQ(progress().value(), 1);
    EXPECT_EQ(controls(), kLoaderLayout);

    // A wrong block checksum abandons the dump: the blocks before it stay in the part file,
    // the controls stay locked until Stop.
    const QString dumpPath = dir.filePath(QStringLiteral("sector6.hex"));
    prompter.saveAnswers.push_back(dumpPath);
    selectRangeInDialog(6, 6);
    ASSERT_TRUE(operate("dumpButton")) << log();
    EXPECT_EQ(lastMessage(), "Checksum mismatched!");
    EXPECT_EQ(controls(), kLockedLayout);
    click("stopButton");
    EXPECT_EQ(controls(), kUnconnectedLayout);
    QFile dump(dumpPath + QStringLiteral(".part"));
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    const QByteArray contents = dump.readAll();
    EXPECT_TRUE(Bytes(contents.begin(), contents.end()) == nor(0x60000, 2 * 8192));

    ASSERT_TRUE(bringUp()) << log();
    EXPECT_EQ(controls(), kLoaderLayout);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

}  // namespace
}  // namespace zrk::test

// What is remembered between runs: port and speed indices, the two image paths, and the
// devices the COM names stand for.
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QTest>

#include <cerrno>

#include "WindowFixture.h"
#include "serial/PortMap.h"

namespace zrk::test {
namespace {

class Settings : public WindowFixture {
  protected:
    void TearDown() override {
        for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n)
            portMap().setDevice(n, "");
    }
    QComboBox* ports() { return w<QComboBox>("portList"); }
    QComboBox* speeds() { return w<QComboBox>("speedList"); }
};

// A link whose last open failed for the given reason.
class FailingLink : public FakeLink {
  public:
    OpenFailure lastOpenFailure() const override { return failure; }
    OpenFailure failure;
};

TEST_F(Settings, AFirstRunStartsWithTheFirstEntriesAndNoFiles) {
    open();
    EXPECT_EQ(ports()->count(), 20);
    EXPECT_EQ(ports()->itemText(0), "COM1");
    EXPECT_EQ(ports()->itemText(19), "COM20");
    EXPECT_EQ(speeds()->count(), 4);
    EXPECT_EQ(speeds()->itemText(3), "921600");
    EXPECT_EQ(ports()->currentText(), "COM1");
    EXPECT_EQ(speeds()->currentText(), "115200");
    EXPECT_EQ(text("binPathField"), "");
    EXPECT_EQ(text("qixPathField"), "");
    EXPECT_EQ(window->cfgPath(), "");
    EXPECT_EQ(window->logText(),
              "Welcome to ZR-K410 Downloader!!\r\n\r\nPress 'START' button to identify the FLASH "
              "ID...");
}

TEST_F(Settings, StoredValuesAreShownAtTheNextStart) {
    settings->writeInt("COM", 4);
    settings->writeInt("SPEED", 3);
    settings->writeString("BinPath", "/data/fw.cla");
    settings->writeString("VavPath", "/data/img/fs.qix");
    open();
    EXPECT_EQ(ports()->currentText(), "COM5");
    EXPECT_EQ(speeds()->currentText(), "921600");
    EXPECT_EQ(text("binPathField"), "/data/fw.cla");
    EXPECT_EQ(text("qixPathField"), "/data/img/fs.qix");
    EXPECT_EQ(window->cfgPath(), "/data/img/fs.cfg");
    // Files that are not there have no size; checksums start empty.
    EXPECT_EQ(text("binSizeField"), "");
    EXPECT_EQ(text("qixSizeField"), "");
    EXPECT_EQ(text("binCrcField"), "");
    const UserChoices c = window->choices();
    EXPECT_EQ(c.portIndex, 4);
    EXPECT_EQ(c.speedIndex, 3);
    EXPECT_EQ(c.binPath, "/data/fw.cla");
    EXPECT_EQ(c.cfgPath, "/data/img/fs.cfg");
}

TEST_F(Settings, StoredPathsShowTheSizesTheirFilesHaveNow) {
    const auto makeFile = [&](const char* name, qint64 size) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
        return file.fileName();
    };
    settings->writeString("BinPath", makeFile("fw.cla", 1234));
    settings->writeString("VavPath", makeFile("fs.qix", 70000));
    open();
    EXPECT_EQ(text("binSizeField"), "1234");
    EXPECT_EQ(text("qixSizeField"), "70000");
    EXPECT_EQ(text("binCrcField"), "");
    EXPECT_TRUE(prompter.messages.empty());

    makeFile("fw.cla", 10);
    reopen();
    EXPECT_EQ(text("binSizeField"), "10");
}

TEST_F(Settings, IndicesOutsideTheListsFallBackToTheFirstEntry) {
    settings->writeInt("COM", 20);
    settings->writeInt("SPEED", -1);
    open();
    EXPECT_EQ(window->choices().portIndex, 0);
    EXPECT_EQ(window->choices().speedIndex, 0);
    settings->writeInt("SPEED", 4);
    reopen();
    EXPECT_EQ(speeds()->currentText(), "115200");
}

TEST_F(Settings, ChangingAListIsStoredAtOnce) {
    open();
    QTest::keyClick(speeds(), Qt::Key_Down);
    QTest::keyClick(speeds(), Qt::Key_Down);
    EXPECT_EQ(speeds()->currentText(), "460800");
    QTest::keyClick(ports(), Qt::Key_Down);
    // Read by a store of its own, as the next run would.
    SettingsStore other(settingsFile());
    EXPECT_EQ(other.readInt("SPEED"), 2);
    EXPECT_EQ(other.readInt("COM"), 1);
    reopen();
    EXPECT_EQ(speeds()->currentText(), "460800");
    EXPECT_EQ(ports()->currentText(), "COM2");
}

TEST_F(Settings, StartUpDoesNotRewriteTheStore) {
    settings->writeInt("SPEED", 3);
    open();
    window.reset();
    SettingsStore other(settingsFile());
    EXPECT_EQ(other.readInt("SPEED"), 3);
    EXPECT_EQ(other.readString("BinPath"), "");
}

TEST_F(Settings, TheCodePageOfCfgNamesIsStoredAndReachesTheEngine) {
    open();
    prompter.textAnswers.push_back(QStringLiteral("NO-SUCH-PAGE"));
    window->chooseCodePage();
    EXPECT_EQ(prompter.messageTexts().size(), 1);  // refused: nothing could be converted
    EXPECT_EQ(window->choices().codePage, "");

    prompter.textAnswers.push_back(QStringLiteral("CP949"));
    window->chooseCodePage();
    EXPECT_EQ(window->choices().codePage, "CP949");
    reopen();
    EXPECT_EQ(window->choices().codePage, "CP949");
}

TEST_F(Settings, ThePortsDeviceIsShownAndCanBeChanged) {
    open();
    EXPECT_EQ(ports()->itemData(2, Qt::ToolTipRole).toString(), "/dev/ttyS2");
    prompter.textAnswers.push_back(QStringLiteral("/dev/ttyUSB0"));
    window->editPortDevice(3);
    EXPECT_EQ(prompter.textInitials.value(0), "/dev/ttyS2");
    EXPECT_EQ(portMap().device(3), "/dev/ttyUSB0");
    EXPECT_EQ(ports()->itemData(2, Qt::ToolTipRole).toString(), "/dev/ttyUSB0");

    // The next run maps it again from the store.
    portMap().setDevice(3, "");
    reopen();
    EXPECT_EQ(portMap().device(3), "/dev/ttyUSB0");

    // A relative name is refused; cancelling changes nothing; empty restores the default.
    prompter.textAnswers.push_back(QStringLiteral("ttyUSB1"));
    window->editPortDevice(3);
    EXPECT_EQ(prompter.messageTexts().size(), 1);
    EXPECT_EQ(portMap().device(3), "/dev/ttyUSB0");
    prompter.textAnswers.push_back(std::nullopt);
    window->editPortDevice(3);
    EXPECT_EQ(portMap().device(3), "/dev/ttyUSB0");
    prompter.textAnswers.push_back(QString());
    window->editPortDevice(3);
    EXPECT_EQ(portMap().device(3), "/dev/ttyS2");
    EXPECT_EQ(SettingsStore(settingsFile()).portDevice(3), "");
}

TEST_F(Settings, TheSimulatorTakesCom1ForThisRunOnly) {
    settings->writeInt("COM", 6);
    open();
    window->useSimulator("/dev/pts/7");
    EXPECT_EQ(ports()->currentText(), "COM1");
    EXPECT_EQ(portMap().device(1), "/dev/pts/7");
    EXPECT_EQ(SettingsStore(settingsFile()).readInt("COM"), 6);
    EXPECT_EQ(SettingsStore(settingsFile()).portDevice(1), "");
}

TEST(PortFailure, APermissionProblemNamesTheCauseAndTheFix) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("s.ini"));
    ScriptedPrompter prompter;
    FailingLink link;
    // A device its group may use, as Debian makes serial ports: joining that group is the fix.
    const std::string device = dir.filePath("ttyS0").toStdString();
    QFile(QString::fromStdString(device)).open(QIODevice::WriteOnly);
    const gid_t dialout = 20;
    if (::chown(device.c_str(), 0, dialout) != 0 || ::chmod(device.c_str(), 0660) != 0)
        GTEST_SKIP() << "cannot give a file to the group dialout here";
    link.failure = {OpenFailure::Kind::PermissionDenied,
                    std::make_error_code(std::errc::permission_denied), device};
    MainWindow window(link, settings, prompter);
    window.messageBox("Port Initialization Failed!", MessageIcon::Error);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Port Initialization Failed!");
    EXPECT_TRUE(prompter.messages[0].detail.contains("dialout"))
        << prompter.messages[0].detail.toStdString();
    EXPECT_TRUE(prompter.messages[0].detail.contains(QString::fromStdString(device)));
    // Other boxes keep their text alone.
    window.messageBox("Download completed!", MessageIcon::Information);
    EXPECT_EQ(prompter.messages[1].detail, "");
}

TEST(PortFailure, TheLogThenGivesTheDoctorsFindingsForThePort) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("s.ini"));
    ScriptedPrompter prompter;
    FailingLink link;
    const std::string device = dir.filePath("ttyUSB4").toStdString();
    link.failure = {OpenFailure::Kind::NotFound,
                    std::make_error_code(std::errc::no_such_file_or_directory), device};
    MainWindow window(link, settings, prompter);
    window.messageBox("Port Initialization Failed!", MessageIcon::Error);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Port Initialization Failed!");
    const std::string& log = window.logText();
    EXPECT_NE(log.find("   " + device + ": it does not exist"), std::string::npos) << log;
    EXPECT_TRUE(log.find("serial devices present") != std::string::npos ||
                log.find("no serial device is present") != std::string::npos)
        << log;
    EXPECT_NE(log.find("ModemManager"), std::string::npos) << log;
    // Other boxes add nothing to the log.
    const std::size_t before = log.size();
    window.messageBox("Download completed!", MessageIcon::Information);
    EXPECT_EQ(window.logText().size(), before);
}

}  // namespace
}  // namespace zrk::test

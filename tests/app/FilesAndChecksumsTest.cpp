// The two pickers, the size fields and the checksum buttons.
#include <QFile>

#include "WindowFixture.h"

namespace zrk::test {
namespace {

class Files : public WindowFixture {
  protected:
    QString makeFile(const QString& name, const QByteArray& content) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    QString stored(const char* key) { return SettingsStore(settingsFile()).readString(key); }
};

TEST_F(Files, PickingAFirmwareImageShowsItsSizeAndStoresThePath) {
    settings->writeString("BinPath", "/old/fw.cla");
    open();
    const QString path = makeFile("fw.bin", "123456789");
    prompter.openAnswers.push_back(path);
    click("binButton");
    ASSERT_EQ(prompter.openRequests.size(), 1u);
    const FileDialogRequest& request = prompter.openRequests[0];
    EXPECT_EQ(request.nameFilters, QStringList({"firmware (*.cla *.bin)", "cla file (*.cla)",
                                                "bin file (*.bin)", "all files (*)"}));
    EXPECT_EQ(request.defaultSuffix, "cla");
    EXPECT_EQ(request.initialPath, "/old/fw.cla");
    EXPECT_EQ(text("binPathField"), path);
    EXPECT_EQ(text("binSizeField"), "9");
    EXPECT_EQ(stored("BinPath"), path);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(Files, CancellingForgetsThePreviousFirmwareImage) {
    open();
    prompter.openAnswers.push_back(makeFile("fw.cla", "abc"));
    click("binButton");
    click("binButton");  // no answer: cancelled
    EXPECT_EQ(prompter.messageTexts(), QStringList{"No file selected!"});
    EXPECT_EQ(text("binPathField"), "");
    EXPECT_EQ(text("binSizeField"), "");
    EXPECT_EQ(window->binPath(), "");
    EXPECT_EQ(stored("BinPath"), "");
}

TEST_F(Files, AnUnreadableImageIsKeptButItsSizeIsNotTouched) {
    open();
    prompter.openAnswers.push_back(makeFile("fw.cla", "abc"));
    click("binButton");
    const QString missing = dir.filePath("gone.cla");
    prompter.openAnswers.push_back(missing);
    click("binButton");
    EXPECT_EQ(prompter.messageTexts(), QStringList{"Fail to open bin file!"});
    EXPECT_TRUE(
        logHas("** Cannot read " + missing.toStdString() + ": No such file or directory\r\n"))
        << log();
    EXPECT_EQ(text("binPathField"), missing);
    EXPECT_EQ(stored("BinPath"), missing);
    EXPECT_EQ(text("binSizeField"), "3");

    click("modeQixRadio");
    prompter.openAnswers.push_back(dir.filePath("gone.qix"));
    click("qixButton");
    EXPECT_EQ(prompter.messageTexts().last(), "Fail to open VAV file!");
    EXPECT_EQ(window->cfgPath(), dir.filePath("gone.cfg"));
    prompter.openAnswers.push_back(dir.path());
    click("qixButton");
    EXPECT_TRUE(logHas("** Cannot read " + dir.path().toStdString() + ": it is a folder\r\n"))
        << log();
}

TEST_F(Files, PickingAFileSystemImageDerivesItsConfiguration) {
    open();
    click("modeQixRadio");
    const QString path = makeFile("fs.qix", QByteArray(70000, 'x'));
    prompter.openAnswers.push_back(path);
    click("qixButton");
    const FileDialogRequest& request = prompter.openRequests.at(0);
    EXPECT_EQ(request.nameFilters, QStringList{"qix file (*.qix)"});
    EXPECT_EQ(request.defaultSuffix, "qix");
    EXPECT_EQ(text("qixSizeField"), "70000");
    EXPECT_EQ(window->cfgPath(), dir.filePath("fs.cfg"));
    EXPECT_EQ(stored("VavPath"), path);
    EXPECT_EQ(window->choices().cfgPath, dir.filePath("fs.cfg").toStdString());

    click("qixButton");  // cancelled
    EXPECT_EQ(window->qixPath(), "");
    EXPECT_EQ(window->cfgPath(), "");
    EXPECT_EQ(text("qixSizeField"), "");
    EXPECT_EQ(stored("VavPath"), "");
}

TEST_F(Files, ChecksumsOfKnownContent) {
    open();
    prompter.openAnswers.push_back(makeFile("check.bin", "123456789"));
    click("binButton");
    click("binCrcButton");
    EXPECT_EQ(text("binCrcField"), "0xcbf43926");
    EXPECT_TRUE(enabled("binCrcField"));

    // A new file does not show the old file's checksum as its own.
    prompter.openAnswers.push_back(makeFile("empty.bin", ""));
    click("binButton");
    EXPECT_EQ(text("binCrcField"), "");
    EXPECT_EQ(text("binSizeField"), "0");
    click("binCrcButton");
    EXPECT_EQ(text("binCrcField"), "0x0");
    EXPECT_TRUE(prompter.messages.empty());

    // Nor does a cancelled choice, nor a new file-system image.
    click("binButton");
    EXPECT_EQ(text("binCrcField"), "");
    click("modeQixRadio");
    prompter.openAnswers.push_back(makeFile("fs.qix", "123456789"));
    click("qixButton");
    click("qixCrcButton");
    EXPECT_EQ(text("qixCrcField"), "0xcbf43926");
    prompter.openAnswers.push_back(makeFile("other.qix", "x"));
    click("qixButton");
    EXPECT_EQ(text("qixCrcField"), "");
}

TEST_F(Files, TheImageChecksumWorksOnTheImagePath) {
    settings->writeString("VavPath",
                          makeFile("fs.qix", "The quick brown fox jumps over the lazy dog"));
    open();
    click("qixCrcButton");
    EXPECT_EQ(text("qixCrcField"), "0x414fa339");
    EXPECT_EQ(text("binCrcField"), "");
}

TEST_F(Files, AChecksumWithoutAReadableFileSaysSoAndShowsZero) {
    open();
    ASSERT_EQ(window->engine().stage(), Stage::Initial);
    click("binCrcButton");  // empty path
    EXPECT_EQ(prompter.messageTexts(), QStringList{"Fail to open bin file!"});
    EXPECT_EQ(text("binCrcField"), "0x0");
    EXPECT_TRUE(logHas("** Cannot read the file: no file is chosen\r\n")) << log();
    EXPECT_EQ(window->engine().stage(), Stage::Idle);
    settings->writeString("VavPath", dir.filePath("missing.qix"));
    reopen();
    click("qixCrcButton");
    EXPECT_EQ(prompter.messageTexts().last(), "Fail to open bin file!");
    EXPECT_EQ(text("qixCrcField"), "0x0");
}

TEST_F(Files, TheSaveDialogGetsTheFiltersInQtForm) {
    open();
    prompter.saveAnswers.push_back("/tmp/dump.hex");
    const std::string chosen =
        window->chooseSaveFile({".hex", "Text (*.hex)|*.hex|All Files (*.*)|*.*||"});
    EXPECT_EQ(chosen, "/tmp/dump.hex");
    const FileDialogRequest& request = prompter.saveRequests.at(0);
    EXPECT_EQ(request.defaultSuffix, "hex");
    EXPECT_EQ(request.nameFilters, QStringList({"Text (*.hex)", "All Files (*)"}));
    EXPECT_EQ(window->chooseSaveFile({".hex", "Text (*.hex)|*.hex||"}), "");  // cancelled
}

}  // namespace
}  // namespace zrk::test

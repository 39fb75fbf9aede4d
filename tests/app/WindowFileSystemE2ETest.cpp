// The NAND file system through the window against the phone simulator: the QIX picker and the
// QIX and BIN + QIX downloads, Format answered by Enter and by Yes, Status.
#include <QFile>
#include <QPushButton>
#include <cstdlib>
#include <optional>

#include "ModalWatcher.h"
#include "SimWindowFixture.h"
#include "support/TestImages.h"

namespace zrk::test {
namespace {

class WindowFileSystem : public SimWindowFixture {
  protected:
    void SetUp() override {
        startPhone();
        chooseSpeed(3);
        ASSERT_TRUE(bringUp()) << log();
    }

    void writeFile(const QString& name, const std::string& bytes) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }

    // A two-file image and its configuration, picked through QIX... as a person does.
    void pickFileSystem() {
        writeFile(QStringLiteral("fs.cfg"),
                  "QIXVERSION : V1.0            \r\nDIR_NAME : /d\r\nFILE_NAME : /d/a.txt\r\n"
                  "FILE_SIZE : 3\r\nFILE_NAME : /b.txt\r\nFILE_SIZE : 2\r\n");
        writeFile(QStringLiteral("fs.qix"), "aaabb");
        prompter.openAnswers.push_back(dir.filePath(QStringLiteral("fs.qix")));
        click("qixButton");
    }
};

TEST_F(WindowFileSystem, DownloadsAFileSystemAloneAndAfterTheFirmware) {
    click("modeQixRadio");
    pickFileSystem();
    EXPECT_EQ(text("qixSizeField"), QStringLiteral("5"));
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), QStringLiteral("Download completed!"));
    EXPECT_TRUE(log().starts_with(" \r\n** Start Downloading QIX file **\r\n"));
    EXPECT_TRUE(log().ends_with("** (Total 5 bytes) **\r\n")) << log();
    EXPECT_EQ(sim->nandFile("/d/a.txt"), (Bytes{'a', 'a', 'a'}));
    EXPECT_EQ(sim->nandFile("/b.txt"), (Bytes{'b', 'b'}));
    EXPECT_TRUE(w("downloadButton")->isEnabled());

    const Bytes firmware = randomImage(65536 + 10, 21);
    click("modeBinQixRadio");
    pickImage(firmware);
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), QStringLiteral("Download completed!"));
    EXPECT_TRUE(log().starts_with(" \r\n** Start Downloading BINARY and QIX file **\r\n"));
    EXPECT_TRUE(logHas("\r\n** Start Downloading QIX file **\r\n"));
    EXPECT_TRUE(log().ends_with("** (Total 65551 bytes) **\r\n")) << log();
    EXPECT_EQ(nor(0, firmware.size()), firmware);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

// The locale a new user has, for one test.
class ScopedLocale {
  public:
    explicit ScopedLocale(const char* name) {
        if (const char* old = std::getenv("LC_ALL"))
            m_Old = old;
        ::setenv("LC_ALL", name, 1);
    }
    ~ScopedLocale() {
        if (m_Old)
            ::setenv("LC_ALL", m_Old->c_str(), 1);
        else
            ::unsetenv("LC_ALL");
    }

  private:
    std::optional<std::string> m_Old;
};

// The example's names are CP1252; the user is asked once, and the answer is kept and shown.
TEST_F(WindowFileSystem, TheExampleDownloadsUnderAUtf8LocaleOnceTheOfferedCodePageIsTaken) {
    const ScopedLocale locale("C.UTF-8");
    click("modeQixRadio");
    EXPECT_TRUE(w("codePageButton")->isEnabled());
    prompter.openAnswers.push_back(QStringLiteral(ZRK_EXAMPLES_DIR "/filesystem.qix"));
    click("qixButton");
    const QString question = QStringLiteral(
        "The names in filesystem.cfg are not valid in UTF-8; they are valid in CP1252. Use "
        "CP1252?");

    prompter.yes = false;
    click("downloadButton");
    ASSERT_TRUE(pumpUntil([&] { return logHas("nothing was sent"); })) << log();
    EXPECT_EQ(prompter.questions, QStringList{question});
    EXPECT_TRUE(
        logHas("All its names are valid in CP1252: choose it with the code page button "
               "beside the QIX path.\r\n"))
        << log();
    EXPECT_FALSE(sim->nandDirectoryExists("/docs"));
    EXPECT_TRUE(w("downloadButton")->isEnabled());

    prompter.yes = true;
    ASSERT_TRUE(operate("downloadButton")) << log();
    EXPECT_EQ(lastMessage(), QStringLiteral("Download completed!")) << log();
    EXPECT_EQ(prompter.questions, (QStringList{question, question}));
    EXPECT_EQ(settings->readString(QStringLiteral("CodePage")), QStringLiteral("CP1252"));
    EXPECT_EQ(w<QPushButton>("codePageButton")->text(), QStringLiteral("CP1252"));
    EXPECT_EQ(sim->nandFile("/docs/Grüße.txt").has_value(), true);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowFileSystem, FormatAsksFirstAndStatusPrintsTheRecord) {
    sim->addNandFile("/keep.txt", Bytes{'k'});
    const std::string before = log();
    // Enter on the real question: No, its default, leaves the log as it was and sends nothing.
    QtPrompter real;
    ModalWatcher watcher;
    SeenBox seen;
    prompter.onQuestion = [&](QWidget* parent, const QString& question, DefaultAnswer answer) {
        watcher.onNext([&seen](QWidget& box) { seeAndPressEnter(box, seen); });
        return real.askYesNo(parent, question, answer);
    };
    hostBytes.clear();
    click("formatButton");
    prompter.onQuestion = nullptr;
    EXPECT_EQ(prompter.questions, QStringList{QStringLiteral("Sure to FORMAT?")});
    EXPECT_EQ(seen.text, QStringLiteral("Sure to FORMAT?"));
    EXPECT_EQ(seen.defaultButton, QStringLiteral("No"));
    EXPECT_EQ(log(), before);
    EXPECT_TRUE(hostBytes.bytes().empty());
    EXPECT_TRUE(w("formatButton")->isEnabled());
    EXPECT_TRUE(sim->nandFile("/keep.txt"));

    prompter.yes = true;
    ASSERT_TRUE(operate("formatButton")) << log();
    EXPECT_EQ(lastMessage(), QStringLiteral("NAND-Formatting Completed!"));
    EXPECT_EQ(log(), " \r\n** Formatting QIX system (NAND Flash)... Success!\r\n");
    EXPECT_FALSE(sim->nandFile("/keep.txt"));

    click("statusButton");
    ASSERT_TRUE(pumpUntil([&] { return logHas("11. maximum length of filenames"); })) << log();
    EXPECT_TRUE(
        log().starts_with(" \r\n** Checking QIX system (NAND Flash)... OK!\r\n\r\n< Result >\r\n"));
    EXPECT_TRUE(pumpUntil([&] { return w("statusButton")->isEnabled(); }));
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

}  // namespace
}  // namespace zrk::test

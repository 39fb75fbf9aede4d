// The window as a person at the service desk meets it: Enter on every question, message boxes
// that show their whole title, the program's own log lines, and a name on every control for a
// screen reader.
#include <QAccessible>
#include <QLabel>
#include <QMessageBox>

#include "ModalWatcher.h"
#include "WindowFixture.h"
#include "app/AboutDialog.h"
#include "app/LinkPump.h"
#include "app/dialogs/FsExplorerDialog.h"
#include "app/dialogs/SectorSelectDialog.h"
#include "engine/SectorMap.h"
#include "filesystem/CodePage.h"

namespace zrk::test {
namespace {

// The title the program's boxes carry, for the time of one test: the application's name, as the
// program sets it (a display name of its own, once set, would be appended to every title).
class DisplayName {
  public:
    DisplayName() : m_Old(QCoreApplication::applicationName()) {
        QCoreApplication::setApplicationName(QStringLiteral("ZR-K410 Downloader"));
    }
    ~DisplayName() { QCoreApplication::setApplicationName(m_Old); }

  private:
    QString m_Old;
};

class Desk : public WindowFixture {
  protected:
    // A real box, Enter pressed on it; what it showed goes to seen.
    bool enterOn(const std::function<bool()>& ask, SeenBox& seen) {
        watcher.onNext([&seen](QWidget& box) { seeAndPressEnter(box, seen); });
        return ask();
    }

    MainWindow& openWithRealBoxes() {
        window = std::make_unique<MainWindow>(link, *settings, real);
        return *window;
    }

    DisplayName name;
    QtPrompter real;
    ModalWatcher watcher;
};

TEST_F(Desk, EnterOnAQuestionThatLosesWorkAnswersNo) {
    MainWindow& main = openWithRealBoxes();
    SeenBox format;
    EXPECT_FALSE(enterOn([&] { return main.askYesNo("Sure to FORMAT?"); }, format));
    EXPECT_EQ(format.text, QStringLiteral("Sure to FORMAT?"));
    EXPECT_EQ(format.defaultButton, QStringLiteral("No"));

    FakeLink explorerLink;
    LinkPump pump(explorerLink);
    auto codePage = CodePage::open("UTF-8", nullptr);
    ASSERT_TRUE(codePage);
    FsExplorerDialog explorer(explorerLink, pump, real, std::move(*codePage));
    SeenBox remove;
    EXPECT_FALSE(enterOn([&] { return explorer.askYesNo("Sure to Delete?"); }, remove));
    EXPECT_EQ(remove.defaultButton, QStringLiteral("No"));

    // Enter gives the default it is told, so the Noes above are the defaults' doing.
    SeenBox harmless;
    EXPECT_TRUE(enterOn(
        [&] { return real.askYesNo(nullptr, QStringLiteral("Go on?"), DefaultAnswer::Yes); },
        harmless));
}

TEST_F(Desk, MessageBoxesAreWideEnoughForTheirTitle) {
    openWithRealBoxes();
    SeenBox message;
    enterOn(
        [&] {
            real.message(window.get(), QStringLiteral("OK"), MessageIcon::Information, {});
            return true;
        },
        message);
    SeenBox question;
    enterOn([&] { return window->askYesNo("Sure?"); }, question);
    for (const SeenBox* seen : {&message, &question}) {
        EXPECT_EQ(seen->title, QStringLiteral("ZR-K410 Downloader"));
        // The title bar also holds the icon and the buttons.
        EXPECT_GE(seen->width, seen->titleWidth + 64) << seen->text.toStdString();
    }
}

TEST_F(Desk, TheWindowsOwnLinesStartOnALineOfTheirOwn) {
    open();
    // The welcome text ends in an open line; the checksum of no file complains after it.
    ASSERT_TRUE(log().ends_with("FLASH ID..."));
    click("binCrcButton");
    EXPECT_TRUE(log().ends_with("FLASH ID...\r\n** Cannot read the file: no file is chosen\r\n"))
        << log();
    click("binCrcButton");  // after a closed line nothing is added
    EXPECT_TRUE(log().ends_with("chosen\r\n** Cannot read the file: no file is chosen\r\n"))
        << log();
}

// Interactive controls (and what shows progress) must carry a name; their own parts (a combo
// box's popup, a pane's scroll bars) are named by the control and not visited.
std::vector<std::string> unnamedControls(QObject& top) {
    static const QAccessible::Role kControls[] = {
        QAccessible::PushButton, QAccessible::CheckBox,     QAccessible::RadioButton,
        QAccessible::ComboBox,   QAccessible::EditableText, QAccessible::List,
        QAccessible::Tree,       QAccessible::Table,        QAccessible::SpinBox,
        QAccessible::Slider,     QAccessible::ProgressBar};
    std::vector<std::string> out;
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* node,
                                                               int depth) {
        if (!node || !node->isValid() || depth > 40)
            return;
        const bool control = std::find(std::begin(kControls), std::end(kControls), node->role()) !=
                             std::end(kControls);
        if (control) {
            if (node->text(QAccessible::Name).trimmed().isEmpty())
                out.push_back(
                    (node->object() ? node->object()->objectName() : QString()).toStdString() +
                    " (role " + std::to_string(int(node->role())) + ")");
            return;
        }
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(&top), 0);
    return out;
}

TEST_F(Desk, EveryControlOfEveryWindowHasAName) {
    open();
    window->show();
    EXPECT_EQ(unnamedControls(*window), std::vector<std::string>{});
    // The size fields are found by their labels too, not only by where they stand.
    EXPECT_EQ(w<QLabel>("binSizeLabel")->buddy(), w("binSizeField"));
    EXPECT_EQ(w<QLabel>("qixSizeLabel")->buddy(), w("qixSizeField"));

    FakeLink explorerLink;
    LinkPump pump(explorerLink);
    auto codePage = CodePage::open("UTF-8", nullptr);
    ASSERT_TRUE(codePage);
    FsExplorerDialog explorer(explorerLink, pump, prompter, std::move(*codePage));
    explorer.addFileLine("a.txt\r\n");
    explorer.show();
    EXPECT_EQ(unnamedControls(explorer), std::vector<std::string>{});

    SectorMap map;
    map.activate();
    std::vector<std::int32_t> flags(SectorMap::kSectorCount, 0);
    SectorSelectDialog sectors(map, flags);
    sectors.show();
    EXPECT_EQ(unnamedControls(sectors), std::vector<std::string>{});

    AboutDialog about;
    about.show();
    EXPECT_EQ(unnamedControls(about), std::vector<std::string>{});

    // The code page is asked for in a dialog of the prompter's own.
    std::vector<std::string> codePageUnnamed{"not shown"};
    watcher.onNext([&](QWidget& dialog) {
        codePageUnnamed = unnamedControls(dialog);
        static_cast<QDialog&>(dialog).reject();
    });
    EXPECT_FALSE(real.askText(window.get(), QStringLiteral("Code page"),
                              QStringLiteral("Code page the .cfg file's names are written in:"),
                              QStringLiteral("CP1252")));
    EXPECT_EQ(codePageUnnamed, std::vector<std::string>{});
}

}  // namespace
}  // namespace zrk::test

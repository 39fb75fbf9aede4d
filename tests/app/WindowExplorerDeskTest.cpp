// The explorer as a service desk meets it: names in a code page, reports longer than the log
// pane, EXIT in the middle of the NAND dump, and where the window opens over the main window.
#include <QApplication>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include "SimWindowFixture.h"
#include "app/LinkPump.h"
#include "app/dialogs/FsExplorerDialog.h"

namespace zrk::test {
namespace {

class WindowExplorerDesk : public SimWindowFixture {
  protected:
    void SetUp() override {
        startPhone();
        chooseSpeed(3);
    }

    static QListWidget* fileList(QDialog& dialog) {
        return dialog.findChild<QListWidget*>(QStringLiteral("fileList"));
    }
    static QPlainTextEdit* logView(QDialog& dialog) {
        return dialog.findChild<QPlainTextEdit*>(QStringLiteral("explorerLog"));
    }
    static QStringList rows(QDialog& dialog) {
        QStringList out;
        for (int i = 0; i < fileList(dialog)->count(); ++i)
            out << fileList(dialog)->item(i)->text();
        return out;
    }

    // Lists the root's first subdirectory and waits until the list is given back.
    bool listFirstSubdirectory(QDialog& dialog) {
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("directoryTree"));
        if (!pumpUntil([&] { return tree->isEnabled() && tree->topLevelItem(0)->childCount(); }))
            return false;
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        return pumpUntil([&] {
            return fileList(dialog)->isEnabled() && tree->isEnabled() &&
                   logView(dialog)->toPlainText().contains(QStringLiteral("Read directory OK!"));
        });
    }

    // Picks a command of the file menu for the row, as a person would.
    void fileCommand(QDialog& dialog, int row, const QString& command) {
        QListWidget* list = fileList(dialog);
        list->setCurrentRow(row);
        QTimer::singleShot(0, [command] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* a : menu->actions())
                if (a->text() == command)
                    a->trigger();
            menu->close();
        });
        emit list->customContextMenuRequested(list->visualItemRect(list->item(row)).center());
    }

    // The main window's control of that name (the explorer has an "exitButton" too).
    QWidget* mainControl(const char* name) {
        for (QWidget* widget : window->findChildren<QWidget*>(QString::fromLatin1(name)))
            if (widget->window() == window.get())
                return widget;
        ADD_FAILURE() << name;
        return nullptr;
    }
    std::string mainControls() {
        std::string out;
        for (const char* name : kAllControls)
            out += mainControl(name)->isEnabled() ? 'E' : 'D';
        return out;
    }
};

// The list and the log show a CP1252 name alike; a row is one line; a name's control
// characters are shown, never obeyed, and the file commands still reach the file.
TEST_F(WindowExplorerDesk, NamesReadTheSameInTheListAndTheLogAndReachTheirFiles) {
    prompter.textAnswers.push_back(QStringLiteral("CP1252"));
    window->chooseCodePage();
    ASSERT_EQ(window->choices().codePage, "CP1252");
    sim->addNandDirectory("/docs");
    ASSERT_TRUE(sim->addNandFile("/docs/Grüße.txt", Bytes(5, 'g')));
    ASSERT_TRUE(sim->addNandFile("/docs/esc\x1b[2J.txt", Bytes(3, 'e')));
    ASSERT_TRUE(bringUp()) << log();

    QStringList listed;
    QString afterListing, afterStatus, afterSecondStatus;
    bool oneLineRows = false, statusScrolledToEnd = false;
    prompter.onDialog = [&](QDialog& dialog) {
        dialog.show();
        EXPECT_TRUE(listFirstSubdirectory(dialog)) << logView(dialog)->toPlainText().toStdString();
        listed = rows(dialog);
        afterListing = logView(dialog)->toPlainText();
        QListWidget* list = fileList(dialog);
        oneLineRows = list->count() == 2;
        for (int i = 0; i < list->count(); ++i)
            oneLineRows = oneLineRows && list->visualItemRect(list->item(i)).height() <
                                             2 * list->fontMetrics().lineSpacing();

        const int plain = static_cast<int>(listed.indexOf(QStringLiteral("Grüße.txt")));
        const int odd = static_cast<int>(listed.indexOf(QStringLiteral("esc\\x1B[2J.txt")));
        if (plain < 0 || odd < 0) {
            dialog.reject();
            pumpUntil([&] { return !dialog.isVisible(); });
            return dialog.result();
        }
        fileCommand(dialog, plain, QStringLiteral("Status"));
        EXPECT_TRUE(pumpUntil([&] {
            return list->isEnabled() &&
                   logView(dialog)->toPlainText().contains(QStringLiteral("File size : 5 byte"));
        })) << logView(dialog)->toPlainText().toStdString();
        afterStatus = logView(dialog)->toPlainText();
        QScrollBar* bar = logView(dialog)->verticalScrollBar();
        statusScrolledToEnd =
            pumpUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }, 10000);

        fileCommand(dialog, odd, QStringLiteral("Status"));
        EXPECT_TRUE(pumpUntil([&] {
            return list->isEnabled() &&
                   logView(dialog)->toPlainText().contains(QStringLiteral("File size : 3 byte"));
        })) << logView(dialog)->toPlainText().toStdString();
        afterSecondStatus = logView(dialog)->toPlainText();
        dialog.reject();
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); }));
        return dialog.result();
    };
    click("explorerButton");

    EXPECT_EQ(listed.size(), 2) << listed.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(listed.contains(QStringLiteral("Grüße.txt")))
        << listed.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(listed.contains(QStringLiteral("esc\\x1B[2J.txt")))
        << listed.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(oneLineRows);
    EXPECT_TRUE(afterListing.contains(QStringLiteral("Grüße.txt"))) << afterListing.toStdString();
    EXPECT_FALSE(afterListing.contains(QLatin1Char('\x1b'))) << afterListing.toStdString();
    EXPECT_TRUE(afterStatus.contains(QStringLiteral("Reading the file status '/docs/Grüße.txt")))
        << afterStatus.toStdString();
    EXPECT_TRUE(statusScrolledToEnd) << afterStatus.toStdString();
    EXPECT_TRUE(afterSecondStatus.contains(QStringLiteral("'/docs/esc\\x1B[2J.txt")))
        << afterSecondStatus.toStdString();
    EXPECT_FALSE(afterSecondStatus.contains(QLatin1Char('\x1b')));
}

// The explorer's log goes with its window: the main window's log tells that the dump was cut
// short and where its pages are.
TEST_F(WindowExplorerDesk, ExitDuringTheNandDumpTellsTheMainLogWhereThePagesAre) {
    sim->addNandFile("/readme.txt", Bytes{'h', 'i'});
    ASSERT_TRUE(bringUp()) << log();
    const QString target = dir.filePath(QStringLiteral("nand.hex"));
    prompter.saveAnswers.push_back(target);
    std::string explorerLog;
    prompter.onDialog = [&](QDialog& dialog) {
        auto& explorer = dynamic_cast<FsExplorerDialog&>(dialog);
        dialog.show();
        auto* dump = dialog.findChild<QPushButton*>(QStringLiteral("nandDumpButton"));
        EXPECT_TRUE(pumpUntil([&] { return dump->isEnabled() && rows(dialog).size() == 1; }));
        dump->click();
        // A report comes every 512 pages: the dump is well under way.
        EXPECT_TRUE(pumpUntil([&] {
            return explorer.logText().find("** Dump!(") != std::string::npos;
        })) << explorer.logText();
        dialog.findChild<QPushButton*>(QStringLiteral("exitButton"))->click();
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); })) << explorer.logText();
        explorerLog = explorer.logText();
        return dialog.result();
    };
    click("explorerButton");

    const std::string kept = target.toStdString() + ".part";
    EXPECT_NE(explorerLog.find("The pages received so far are in " + kept + "\r\n"),
              std::string::npos)
        << explorerLog;
    EXPECT_TRUE(
        logHas("\r\nThe NAND full dump was cut short by EXIT; the pages received so far "
               "are in " +
               kept + "\r\n"))
        << log();
    const QFileInfo part(QString::fromStdString(kept));
    EXPECT_TRUE(part.exists());
    EXPECT_GE(part.size(), 512 * 2048);
    EXPECT_FALSE(QFileInfo::exists(target));  // never passed off as a whole dump
}

// The explorer opens over the main window, whose controls look as inert as they are while the
// explorer has the link, and come back as they were.
TEST_F(WindowExplorerDesk, OpensCentredOnTheMainWindowWhoseControlsLookInertMeanwhile) {
    sim->addNandFile("/readme.txt", Bytes{'h', 'i'});
    ASSERT_TRUE(bringUp()) << log();
    window->show();
    ASSERT_TRUE(pumpUntil([&] { return window->isVisible(); }));
    const std::string before = mainControls();
    const QPoint mainCentre = window->frameGeometry().center();
    QPoint explorerCentre;
    std::string during;
    bool explorerUsable = false;
    prompter.onDialog = [&](QDialog& dialog) {
        dialog.show();
        // The first listing has ended: the explorer's working controls are given back.
        EXPECT_TRUE(
            pumpUntil([&] { return rows(dialog).size() == 1 && fileList(dialog)->isEnabled(); }));
        explorerCentre = dialog.frameGeometry().center();
        during = mainControls();
        explorerUsable = fileList(dialog)->isEnabled() &&
                         dialog.findChild<QPushButton*>(QStringLiteral("exitButton"))->isEnabled();
        dialog.reject();
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); }));
        return dialog.result();
    };
    click("explorerButton");

    // The toolkit may nudge a window to keep it on the screen; a corner is far off.
    EXPECT_LE((explorerCentre - mainCentre).manhattanLength(), 40)
        << "explorer at " << explorerCentre.x() << "," << explorerCentre.y() << ", main at "
        << mainCentre.x() << "," << mainCentre.y();
    EXPECT_EQ(during, std::string(before.size(), 'D'));
    EXPECT_TRUE(explorerUsable);
    EXPECT_EQ(mainControls(), before);
    EXPECT_TRUE(window->isEnabled());
}

// A link lost under the explorer closes it and stops the main window's link: the controls then
// are the stopped link's, not those from before the explorer opened.
TEST_F(WindowExplorerDesk, ALinkLostUnderTheExplorerLeavesTheMainWindowStoppedAndUsable) {
    sim->addNandFile("/readme.txt", Bytes{'h', 'i'});
    ASSERT_TRUE(bringUp()) << log();
    prompter.onDialog = [&](QDialog& dialog) {
        dialog.show();
        EXPECT_TRUE(pumpUntil([&] { return rows(dialog).size() == 1; }));
        window->linkPump().postLinkLost(port, port.session(), "device removed");
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); }));
        return dialog.result();
    };
    click("explorerButton");
    EXPECT_TRUE(pumpUntil([&] { return linkStopped(); })) << log();
    EXPECT_TRUE(logHas("device removed")) << log();
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(mainControl("startButton")->isEnabled());
    EXPECT_FALSE(mainControl("explorerButton")->isEnabled());
}

}  // namespace
}  // namespace zrk::test

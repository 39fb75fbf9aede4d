// The explorer through the main window against the phone simulator: open, browse, the file
// menu, EXIT, and the main window's own work afterwards.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>

#include "SimWindowFixture.h"
#include "app/dialogs/FsExplorerDialog.h"
#include "filesystem/explorer/ExplorerEngine.h"

namespace zrk::test {
namespace {

class WindowExplorer : public SimWindowFixture {
  protected:
    void SetUp() override {
        startPhone();
        sim->addNandDirectory("/docs");
        sim->addNandDirectory("/docs/old");
        sim->addNandFile("/readme.txt", Bytes{'h', 'i'});
        sim->addNandFile("/docs/a.txt", Bytes{'a'});
        chooseSpeed(3);
        ASSERT_TRUE(bringUp()) << log();
    }

    static QStringList listed(QDialog& dialog) {
        QStringList out;
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("fileList"));
        for (int i = 0; list && i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
};

// Each wait ends the flow when it fails: a step that went wrong must fail the test at once, not
// leave every later step to wait out its own deadline on a window that cannot answer any more.
TEST_F(WindowExplorer, BrowsesReadsOutAndGivesTheLinkBackOnExit) {
    QStringList rootFiles, docsFiles;
    QString rootChild;
    const std::string out = dir.filePath(QStringLiteral("readme.hex")).toStdString();
    prompter.saveAnswers.push_back(QString::fromStdString(out));
    int result = -1;
    bool ok = true;
    prompter.onDialog = [&](QDialog& dialog) {
        auto& explorer = dynamic_cast<FsExplorerDialog&>(dialog);
        auto wait = [&](const char* what, const std::function<bool()>& done) {
            if (ok && !pumpUntil(done)) {
                ADD_FAILURE() << "waited in vain for " << what << "\n" << explorer.logText();
                ok = false;
            }
            return ok;
        };
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("QIX Explorer"));
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("directoryTree"));
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("fileList"));
        QTreeWidgetItem* root = tree->topLevelItem(0);
        EXPECT_EQ(root->text(0), QStringLiteral("/"));
        // The first listing ends after its last entry: only then are the controls given back.
        wait("the root listing", [&] { return tree->isEnabled() && list->isEnabled(); });
        rootFiles = listed(dialog);
        if (ok && root->childCount() > 0) {
            rootChild = root->child(0)->text(0);
            tree->setCurrentItem(root->child(0));  // lists /docs
            wait("the /docs listing", [&] { return tree->isEnabled() && list->isEnabled(); });
            docsFiles = listed(dialog);
            EXPECT_EQ(FsExplorerDialog::nodePath(root->child(0)), QStringLiteral("/docs"));
        }
        if (ok && !docsFiles.isEmpty()) {
            // A read-out of /docs/a.txt, as the menu's "Dump..." starts it; it ends in a box.
            prompter.messages.clear();
            explorer.engine().readOut("/docs/" + docsFiles.value(0).toStdString());
            if (wait("the read-out's end", [&] { return !prompter.messages.empty(); })) {
                EXPECT_EQ(lastMessage(), QStringLiteral("Dump Completed!")) << explorer.logText();
            }
        }
        dialog.findChild<QPushButton*>(QStringLiteral("exitButton"))->click();
        wait("the closing exchange", [&] { return !dialog.isVisible(); });
        result = dialog.result();
        return result;
    };
    click("explorerButton");
    ASSERT_TRUE(ok);
    EXPECT_EQ(result, int(QDialog::Accepted));
    EXPECT_EQ(rootFiles, QStringList{QStringLiteral("readme.txt")});
    EXPECT_EQ(rootChild, QStringLiteral("docs"));
    EXPECT_EQ(docsFiles, QStringList{QStringLiteral("a.txt")});
    QFile file(QString::fromStdString(out));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("a"));

    // The link is the main window's again: its own operations go on.
    click("statusButton");
    EXPECT_TRUE(pumpUntil([&] { return logHas("11. maximum length of filenames"); })) << log();
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowExplorer, TheFileMenuNamesTheFileAndItsCommandsWork) {
    QStringList menuTexts;
    prompter.yes = true;  // the delete's question
    prompter.onDialog = [&](QDialog& dialog) {
        auto& explorer = dynamic_cast<FsExplorerDialog&>(dialog);
        dialog.show();
        EXPECT_TRUE(pumpUntil([&] { return listed(dialog).size() == 1; }));
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("fileList"));
        EXPECT_TRUE(pumpUntil([&] { return list->isEnabled(); }));
        list->setCurrentRow(0);
        // The menu runs its own loop: pick "Status", then "Delete", from inside it.
        auto choose = [&](const QString& command) {
            QTimer::singleShot(0, [&, command] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (!menu)
                    return;
                menuTexts.clear();
                for (QAction* a : menu->actions())
                    menuTexts << (a->isSeparator() ? QStringLiteral("-") : a->text());
                for (QAction* a : menu->actions())
                    if (a->text() == command)
                        a->trigger();
                menu->close();
            });
            emit list->customContextMenuRequested(list->visualItemRect(list->item(0)).center());
        };
        choose(QStringLiteral("Status"));
        EXPECT_TRUE(pumpUntil([&] {
            return list->isEnabled() &&
                   explorer.logText().find("*File size : 2 byte") != std::string::npos;
        }));
        choose(QStringLiteral("Delete"));
        EXPECT_TRUE(pumpUntil([&] { return !sim->nandFile("/readme.txt"); })) << explorer.logText();
        EXPECT_TRUE(pumpUntil([&] { return listed(dialog).isEmpty() && list->isEnabled(); }));
        dialog.reject();
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); }));
        return dialog.result();
    };
    click("explorerButton");
    EXPECT_EQ(menuTexts, (QStringList{QStringLiteral("< readme.txt >"), "-", "Dump...", "Delete",
                                      "-", "Status"}));
    EXPECT_FALSE(sim->nandFile("/readme.txt"));
}

TEST_F(WindowExplorer, EscapeRunsTheClosingExchangeToo) {
    int result = -1;
    prompter.onDialog = [&](QDialog& dialog) {
        dialog.show();
        EXPECT_TRUE(pumpUntil([&] { return listed(dialog).size() == 1; }));
        dialog.reject();  // Esc, the close request
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); }));
        result = dialog.result();
        return result;
    };
    click("explorerButton");
    EXPECT_EQ(result, int(QDialog::Accepted));  // closed by the exchange, not torn away
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowExplorer, TheTreeMenuCopiesAFolderToThePc) {
    Bytes big(10000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + 1);
    sim->addNandFile("/docs/old/big.bin", big);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("pc")));
    prompter.folderAnswers.push_back(dir.filePath(QStringLiteral("pc")));
    QStringList menuTexts, filesAfter;
    std::string log;
    int progress = -1, progressEnd = -2;
    prompter.onDialog = [&](QDialog& dialog) {
        auto& explorer = dynamic_cast<FsExplorerDialog&>(dialog);
        dialog.show();
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("directoryTree"));
        EXPECT_TRUE(pumpUntil([&] {
            return tree->isEnabled() && tree->topLevelItem(0)->childCount() == 1;
        })) << explorer.logText();
        QTreeWidgetItem* docs = tree->topLevelItem(0)->child(0);
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* a : menu->actions())
                menuTexts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            for (QAction* a : menu->actions())
                if (a->text() == QStringLiteral("Copy folder to PC..."))
                    a->trigger();
            menu->close();
        });
        emit tree->customContextMenuRequested(tree->visualItemRect(docs).center());
        EXPECT_TRUE(pumpUntil([&] { return !lastMessage().isEmpty(); })) << explorer.logText();
        auto* bar = dialog.findChild<QProgressBar*>(QStringLiteral("explorerProgress"));
        progress = bar->value();
        progressEnd = bar->maximum();
        // The list shows the directory it showed before, and the tree works again.
        filesAfter = listed(dialog);
        EXPECT_TRUE(tree->isEnabled());
        log = explorer.logText();
        dialog.reject();
        EXPECT_TRUE(pumpUntil([&] { return !dialog.isVisible(); }));
        return dialog.result();
    };
    click("explorerButton");
    EXPECT_EQ(menuTexts, (QStringList{QStringLiteral("< /docs >"), "-", "Copy folder to PC..."}));
    EXPECT_EQ(lastMessage(), QStringLiteral("Folder copied!")) << log;
    EXPECT_NE(log.find("** Copied 2 files (10001 bytes) and 1 folders"), std::string::npos) << log;
    EXPECT_EQ(progress, 10001);
    EXPECT_EQ(progressEnd, 10001);
    EXPECT_EQ(filesAfter, QStringList{QStringLiteral("readme.txt")});
    QFile a(dir.filePath(QStringLiteral("pc/docs/a.txt")));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), QByteArray("a"));
    QFile b(dir.filePath(QStringLiteral("pc/docs/old/big.bin")));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), QByteArray(reinterpret_cast<const char*>(big.data()), 10000));
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

// A phone that goes quiet: its faults and a fresh window bound to it, explorer time in the
// test's hands so that no wait is sat out for real.
class WindowExplorerSilence : public SimWindowFixture {
  protected:
    void bringUpWith(const sim::SimOptions& options) {
        startPhone(options);
        chooseSpeed(3);
        ASSERT_TRUE(bringUp()) << log();
    }
    // Lets explorer time run, a second per turn of the event loop, until done() holds: called
    // only once the phone has stopped answering.
    bool letTimePass(const std::function<bool()>& done) {
        return pumpUntil([&] {
            now += std::chrono::seconds(1);
            return done();
        });
    }
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
};

TEST_F(WindowExplorerSilence, ANandDumpThePhoneStopsEndsAfterTheCommandLinesTimeout) {
    sim::SimOptions options;
    options.faults.silentNandPage = 512;  // the first 1 MB comes, then nothing
    bringUpWith(options);
    const QString out = dir.filePath(QStringLiteral("nand.hex"));
    prompter.saveAnswers.push_back(out);
    bool ok = false, controlsBack = false;
    std::string explorerLog;
    int result = -1;
    prompter.onDialog = [&](QDialog& dialog) {
        auto& explorer = dynamic_cast<FsExplorerDialog&>(dialog);
        explorer.setSilenceClock([&] { return now; });
        dialog.show();
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("directoryTree"));
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("fileList"));
        auto* dump = dialog.findChild<QPushButton*>(QStringLiteral("nandDumpButton"));
        ok = pumpUntil([&] { return dump->isEnabled(); });
        if (ok) {
            dump->click();
            ok = pumpUntil([&] {
                return explorer.logText().find("** Dump!( 1048576 Byte)") != std::string::npos;
            });
        }
        if (ok)
            ok = letTimePass([&] { return dump->isEnabled(); });
        explorerLog = explorer.logText();
        controlsBack = tree->isEnabled() && list->isEnabled() && dump->isEnabled();
        dialog.findChild<QPushButton*>(QStringLiteral("exitButton"))->click();
        pumpUntil([&] { return !dialog.isVisible(); });
        result = dialog.result();
        return result;
    };
    click("explorerButton");
    ASSERT_TRUE(ok) << explorerLog;
    const std::string part = out.toStdString() + ".part";
    EXPECT_NE(explorerLog.find("** the phone sent nothing for 30 s: the NAND full dump was given "
                               "up **\r\nThe pages received so far are in " +
                               part),
              std::string::npos)
        << explorerLog;
    EXPECT_TRUE(controlsBack);
    EXPECT_EQ(QFileInfo(QString::fromStdString(part)).size(), 512 * 2048);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_TRUE(
        logHas("QIX Explorer: the phone sent nothing for 30 s; the NAND full dump was "
               "given up; the pages received so far are in " +
               part))
        << log();
    // The phone still answers the unmount: the window closed by its closing exchange, and the
    // main window's work goes on.
    EXPECT_EQ(result, int(QDialog::Accepted));
    click("statusButton");
    EXPECT_TRUE(pumpUntil([&] { return logHas("11. maximum length of filenames"); })) << log();
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowExplorerSilence, AnUnansweredUnmountStillClosesTheWindow) {
    sim::SimOptions options;
    options.faults.unmountFault = sim::SimFaults::UnmountFault::Silent;
    bringUpWith(options);
    bool ok = false;
    prompter.onDialog = [&](QDialog& dialog) {
        auto& explorer = dynamic_cast<FsExplorerDialog&>(dialog);
        explorer.setSilenceClock([&] { return now; });
        dialog.show();
        auto* dump = dialog.findChild<QPushButton*>(QStringLiteral("nandDumpButton"));
        ok = pumpUntil([&] { return dump->isEnabled(); }) &&
             (dialog.findChild<QPushButton*>(QStringLiteral("exitButton"))->click(),
              letTimePass([&] { return !dialog.isVisible(); }));
        return dialog.result();
    };
    click("explorerButton");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(
        logHas("QIX Explorer: the unmount (E4h) was not answered; the phone sent nothing "
               "for 30 s; the phone's file system may still be mounted"))
        << log();
    EXPECT_TRUE(window->isEnabled());
}

}  // namespace
}  // namespace zrk::test

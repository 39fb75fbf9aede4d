#include "app/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/AboutDialog.h"
#include "app/LinkPump.h"
#include "app/MainWindow.h"
#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "app/dialogs/FsExplorerDialog.h"
#include "app/dialogs/SectorSelectDialog.h"
#include "engine/SectorMap.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixNameCheck.h"
#include "serial/CommPort.h"

namespace zrk {
namespace {

// Nothing here may wait for a person.
class SilentPrompter : public Prompter {
  public:
    void message(QWidget*, const QString&, MessageIcon, const QString&) override {}
    bool askYesNo(QWidget*, const QString&, DefaultAnswer) override { return false; }
    QString openFile(QWidget*, const FileDialogRequest&) override { return {}; }
    QString saveFile(QWidget*, const FileDialogRequest&) override { return {}; }
    std::optional<QString> askText(QWidget*, const QString&, const QString&,
                                   const QString&) override {
        return std::nullopt;
    }
    int runDialog(QDialog&) override { return 0; }
};

bool save(QWidget& window, const QDir& dir, const QString& name) {
    window.show();
    QApplication::processEvents();
    const QString path = dir.filePath(name);
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int writeScreenshots(const QString& dirPath) {
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dirPath));
        return 1;
    }
    // A store of its own, so the pictures do not depend on (or change) the user's settings.
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("settings.ini")));
    settings.writeString(QStringLiteral("BinPath"),
                         QStringLiteral("/home/user/firmware/zr-k410-v26.cla"));
    settings.writeString(QStringLiteral("VavPath"), QStringLiteral("/home/user/firmware/fs.qix"));
    settings.writeInt(QStringLiteral("SPEED"), 3);
    SilentPrompter prompter;
    CommPort port;
    bool ok = true;
    {
        MainWindow window(port, settings, prompter);
        ok &= save(window, dir, QStringLiteral("main-startup.png"));

        window.setLogText(" \r\n");
        window.showPortOpened();
        window.lockControls();
        window.setFlashName("LMR20TQ55P");
        window.setFirmwareSizeText("6291456");
        window.appendLog("** Download to NOR flash from 0x10000000 (6291456 bytes)\r\n");
        for (int i = 0; i < 40; ++i)
            window.appendLog(QString::asprintf("Writing sector %03d (0x%08X)... OK!\r\n", i,
                                               0x10000000 + i * 0x10000)
                                 .toStdString());
        // Half a minute into the download, as the rate and time left show it.
        std::chrono::steady_clock::time_point now{};
        window.setProgressClock([&now] { return now; });
        window.setProgressRange(6291456);
        now += std::chrono::seconds(30);
        window.setProgressPos(40 * 65536);
        ok &= save(window, dir, QStringLiteral("main-locked.png"));

        // Enter must keep the file system: No is the highlighted default.
        const auto format =
            questionBox(&window, QStringLiteral("Sure to FORMAT?"), DefaultAnswer::No);
        ok &= save(*format, dir, QStringLiteral("format-question.png"));
        format->hide();
        window.hide();
    }
    {
        // DOWNLOAD in QIX with a .cfg written in CP1252 under a UTF-8 locale: the offer, as the
        // window's yes/no question shows it.
        QMessageBox offer(QMessageBox::Question, QApplication::applicationDisplayName(),
                          QString::fromStdString(
                              qixCodePageQuestion("/home/user/firmware/fs.cfg", "UTF-8", "CP1252")),
                          QMessageBox::Yes | QMessageBox::No);
        ok &= save(offer, dir, QStringLiteral("code-page-offer.png"));
        offer.hide();
    }
    {
        AboutDialog about;
        ok &= save(about, dir, QStringLiteral("about.png"));
    }
    {
        SectorMap map;
        map.activate();
        std::vector<std::int32_t> flags(SectorMap::kSectorCount, 0);
        flags[1] = flags[2] = flags[5] = 1;
        SectorSelectDialog sectors(map, flags);
        ok &= save(sectors, dir, QStringLiteral("sectors.png"));
    }
    {
        // The explorer as a listing leaves it; nothing is sent, the port stays closed.
        CommPort closed;
        LinkPump pump(closed);
        auto codePage = CodePage::open("UTF-8", nullptr);
        FsExplorerDialog explorer(closed, pump, prompter, std::move(*codePage));
        explorer.addDirectoryNode("/", "docs");
        explorer.addDirectoryNode("/", "media");
        explorer.addDirectoryNode("/docs", "old");
        for (const char* name : {"readme.txt\r\n", "Grüße.txt\r\n", "settings.ini\r\n"})
            explorer.addFileLine(name);
        explorer.setLogText("\r\nSearching the files (in '/')... readme.txt\r\nGrüße.txt\r\n");
        ok &= save(explorer, dir, QStringLiteral("explorer.png"));

        // As it opens: centred on the main window, whose controls look inert behind it.
        {
            MainWindow window(port, settings, prompter);
            window.setEnabled(false);
            QPixmap both = window.grab();
            const QPixmap over = explorer.grab();
            QPainter painter(&both);
            painter.drawPixmap(std::max(0, (both.width() - over.width()) / 2),
                               std::max(0, (both.height() - over.height()) / 2), over);
            painter.setPen(QColor(90, 90, 90));
            painter.drawRect(std::max(0, (both.width() - over.width()) / 2),
                             std::max(0, (both.height() - over.height()) / 2), over.width() - 1,
                             over.height() - 1);
            painter.end();
            const QString path = dir.filePath(QStringLiteral("explorer-over-main.png"));
            if (!both.save(path)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                ok = false;
            }
            window.hide();
        }

        // Eleven minutes into a NAND dump.
        std::chrono::steady_clock::time_point now{};
        explorer.setProgressClock([&now] { return now; });
        explorer.setLogText("** Start Dump!\n  Wait!!!!!!! Long time \n");
        explorer.setProgressRange(131203072);
        now += std::chrono::minutes(11);
        explorer.setProgressPos(131203072 / 2);
        ok &= save(explorer, dir, QStringLiteral("explorer-nand-dump.png"));
    }
    return ok ? 0 : 1;
}

}  // namespace zrk

#include "app/Screenshots.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
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
#include "app/SerialScanner.h"
#include "app/SettingsStore.h"
#include "app/dialogs/FsExplorerDialog.h"
#include "app/dialogs/SectorSelectDialog.h"
#include "app/dialogs/StationTile.h"
#include "app/dialogs/StationWindow.h"
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

// The station with eight cables in every state a line sees.
bool drawStation(const QDir& dir, const QTemporaryDir& filesDir, SettingsStore& settings,
                 Prompter& prompter) {
    using station::PortState;
    const QString firmware = filesDir.filePath(QStringLiteral("zr-k410-v26.bin"));
    {
        QFile file(firmware);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(6291456, '\x5a'));
    }
    StationWindow window(settings, prompter);
    station::Recipe recipe;
    recipe.binPath = firmware.toStdString();
    recipe.speedIndex = 3;
    recipe.verify = true;
    window.setRecipe(recipe);
    window.setLoop(true);
    window.setReportFolder(QStringLiteral("/home/user/line-3/reports"));
    const StationTile::Clock::time_point now{};
    auto phone = [](int passed, int failed, bool last, const char* cause, double seconds) {
        station::PhoneResult r;
        r.number = passed + failed;
        r.passed = last;
        r.cause = cause;
        r.passedCount = passed;
        r.failedCount = failed;
        r.seconds = seconds;
        return r;
    };
    struct Tile {
        const char* port;
        const char* device;
        PortState state;
        std::optional<station::PhoneResult> last;
        double progress;  // of the current phone, 0..1; negative: none
    };
    const Tile tiles[] = {
        {"COM1", "/dev/ttyS0", PortState::Downloading, phone(12, 0, true, "", 71), 0.45},
        {"COM2", "/dev/ttyS1", PortState::Done, phone(13, 1, true, "", 70), 1},
        {"COM3", "/dev/ttyS2", PortState::Failed,
         phone(7, 2, false, "wrong reply in \"write a sector\" (expected 0x3C, got 0x00)", 38), -1},
        {"COM4", "/dev/ttyS3", PortState::Waiting, phone(9, 0, true, "", 69), -1},
        {"COM5", "/dev/ttyS4", PortState::BringingUp, std::nullopt, -1},
        {"COM6", "/dev/ttyS5", PortState::Verifying, phone(11, 0, true, "", 72), 0.8},
        {"/dev/ttyUSB0", "/dev/ttyUSB0", PortState::Stopped, phone(4, 1, false, "stopped", 12), -1},
        {"/dev/ttyUSB1", "/dev/ttyUSB1", PortState::PortProblem, std::nullopt, -1},
    };
    for (const Tile& t : tiles) {
        const QString port = QString::fromLatin1(t.port);
        if (port.startsWith('/'))
            window.addDevicePath(port);
        else
            window.setPortChecked(port, true);
        StationTile* tile = window.addTile(port, QString::fromLatin1(t.device));
        if (t.state != PortState::BringingUp && t.state != PortState::PortProblem)
            tile->setFlash(QStringLiteral("LMR20TQ55P"));
        if (t.last)
            tile->setPhone(*t.last);
        if (t.state == PortState::PortProblem)
            tile->setEnded(t.state, QStringLiteral("permission denied: add the user to the "
                                                   "dialout group"));
        else if (t.state == PortState::Stopped)
            tile->setEnded(t.state, {});
        else
            tile->setState(t.state, now - std::chrono::seconds(31));
        if (t.progress >= 0) {
            const std::uint64_t total = 6291456;
            const auto position = static_cast<std::uint64_t>(t.progress * total);
            tile->setProgress(position, total, t.progress < 1 ? 89000 : 0, ProgressUnit::Bytes);
        }
        tile->tick(now);
    }
    window.setRunning(true);
    return save(window, dir, QStringLiteral("station.png"));
}

// A machine with an on-board port and two USB adapters, the FTDI one with a serial number.
std::vector<SerialDevice> benchDevices() {
    auto adapter = [](const char* path, const char* maker, const char* product, const char* serial,
                      const char* usbPath) {
        SerialDevice d;
        d.path = path;
        d.kind = SerialKind::Usb;
        d.usb = UsbIdentity{};
        d.usb->manufacturer = maker;
        d.usb->product = product;
        d.usb->serial = serial;
        d.usb->usbPath = usbPath;
        d.usb->interfaceNumber = "00";
        d.mayOpen = true;
        return d;
    };
    SerialDevice onBoard;
    onBoard.path = "/dev/ttyS0";
    onBoard.mayOpen = true;
    return {onBoard, adapter("/dev/ttyUSB0", "FTDI", "FT232R USB UART", "A5XK3RJ", "1-2:1.0"),
            adapter("/dev/ttyUSB1", "QinHeng Electronics", "USB Serial", "", "1-3:1.0")};
}

// The port list open over the window: every name with its device, the adapters with theirs.
bool drawPortList(const QDir& dir, MainWindow& window) {
    auto* list = window.findChild<QComboBox*>(QStringLiteral("portList"));
    if (!list)
        return false;
    window.show();
    QApplication::processEvents();
    list->showPopup();
    QApplication::processEvents();
    QWidget* popup = list->view()->window();
    QPixmap both = window.grab();
    const QPixmap over = popup->grab();
    const QPoint at = list->mapTo(&window, QPoint(0, list->height()));
    QPainter painter(&both);
    painter.drawPixmap(at, over);
    painter.setPen(QColor(90, 90, 90));
    painter.drawRect(QRect(at, over.size()).adjusted(0, 0, -1, -1));
    painter.end();
    list->hidePopup();
    const QString path = dir.filePath(QStringLiteral("main-port-list.png"));
    if (!both.save(path)) {
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
    settings.writeInt(QStringLiteral("COM"), 1);
    setSerialScanner(benchDevices);
    SilentPrompter prompter;
    CommPort port;
    bool ok = true;
    {
        MainWindow window(port, settings, prompter);
        ok &= save(window, dir, QStringLiteral("main-startup.png"));
        ok &= drawPortList(dir, window);

        window.setLogText(" \r\n");
        window.stageChanged(Stage::WaitingForPhone);
        window.heard(FlashNamed{"LMR20TQ55P"});
        window.heard(FirmwareSized{6291456});
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
    ok &= drawStation(dir, settingsDir, settings, prompter);
    setSerialScanner({});
    return ok ? 0 : 1;
}

}  // namespace zrk

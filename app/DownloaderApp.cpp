#include "app/DownloaderApp.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>
#include <cstdio>
#include <string>

#include "app/DialogUnits.h"
#include "app/MainWindow.h"
#include "app/Prompter.h"
#include "app/Resources.h"
#include "app/Screenshots.h"
#include "app/SettingsStore.h"
#include "serial/LinkSetup.h"
#include "serial/PortMap.h"

namespace zrk {

namespace {

void printUsage(std::FILE* to, const QString& error) {
    std::fprintf(to,
                 "%s%s"
                 "Usage: zrk410-gui [--screenshots DIR] [--sim [SIMULATOR OPTIONS...]]\n"
                 "The ZR-K410 Downloader's window: flash a ZR-K410 phone through a serial "
                 "cable.\n\n"
                 "Options:\n"
                 "  --screenshots DIR  write PNG images of the windows into DIR and exit\n"
                 "  --sim ...          COM1 is a phone simulator started for this run; the\n"
                 "                     options after --sim are handed to the simulator\n"
                 "  -h, --help         print this help and exit\n"
                 "  --version          print the version and exit\n",
                 qPrintable(error), error.isEmpty() ? "" : "\n");
}

}  // namespace

std::optional<int> answerWithoutWindow(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sim")
            break;  // the rest is the simulator's
        if (arg == "--version") {
            std::printf("zrk410-gui %s\n", ZRK_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout, {});
            return 0;
        }
    }
    return std::nullopt;
}

LaunchOptions parseLaunchOptions(const QStringList& arguments) {
    LaunchOptions options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--sim")) {
            options.simulator = true;
            for (int j = i + 1; j < arguments.size(); ++j)
                options.simulatorArgs.push_back(arguments[j].toStdString());
            break;
        }
        if (arg == QLatin1String("--screenshots")) {
            if (i + 1 >= arguments.size()) {
                options.error = QStringLiteral("--screenshots needs a folder");
                return options;
            }
            options.screenshotDir = arguments[++i];
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else {
            options.error = QStringLiteral("unknown option %1").arg(arg);
            return options;
        }
    }
    return options;
}

void DownloaderApp::prepareToolkit() {
    ensureResources();
    nameApplication();
    // The layouts are measured for this style and these faces; a theme with other metrics
    // would clip captions in the fixed-size windows.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(sansFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zrk410/icons/zrk410.png")));
}

void DownloaderApp::nameApplication() {
    QApplication::setOrganizationName(QString::fromLatin1(SettingsStore::kOrganisation));
    // Also the message boxes' title (the display name falls back to it).
    QApplication::setApplicationName(QString::fromLatin1(SettingsStore::kApplication));
    QApplication::setDesktopFileName(QStringLiteral("zrk410-gui"));
}

int DownloaderApp::run(const LaunchOptions& options) {
    if (!options.error.isEmpty() || options.help) {
        printUsage(options.help ? stdout : stderr, options.error);
        return options.help ? 0 : 2;
    }
    if (!options.screenshotDir.isEmpty())
        return writeScreenshots(options.screenshotDir);

    // The window ends first (it closes the port), then the link with its simulator.
    LinkSetup link(portMap());
    if (options.simulator) {
        std::string error;
        if (!link.startSimulator(options.simulatorArgs, &error)) {
            QtPrompter().message(nullptr, QStringLiteral("The phone simulator did not start."),
                                 MessageIcon::Error, QString::fromStdString(error));
            return 1;
        }
    }
    {
        SettingsStore settings;
        QtPrompter prompter;
        MainWindow window(link.port(), settings, prompter);
        window.setTraceControl(
            [&link](const QString& path) { return link.setTrace(path.toStdString()); });
        window.setTraceErrorSource([&link] { return link.traceWriteError(); });
        if (link.simulating())
            window.useSimulator(QString::fromStdString(link.simulatorDevice()));
        window.exec();
    }
    link.setTrace({});
    if (link.simulating() && link.stopSimulator() == 1)
        std::fprintf(stderr, "zrk410-gui: the phone simulator saw protocol violations\n");
    return 0;
}

}  // namespace zrk

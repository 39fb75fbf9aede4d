// The configuration path beside a file-system image, the conversion of file filters, and the
// command line of the window program.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "app/DownloaderApp.h"
#include "app/Prompter.h"
#include "app/SettingsStore.h"

namespace zrk {
namespace {

TEST(CfgPath, ReplacesTheFileNamesOwnExtension) {
    EXPECT_EQ(deriveCfgPath(""), "");
    EXPECT_EQ(deriveCfgPath("/data/img/fs.qix"), "/data/img/fs.cfg");
    EXPECT_EQ(deriveCfgPath("/data/img/fs.v2.qix"), "/data/img/fs.v2.cfg");
    EXPECT_EQ(deriveCfgPath("fs.qix"), "fs.cfg");
    // A dot in a folder name is not the file's extension; a name without one gets ".cfg".
    EXPECT_EQ(deriveCfgPath("/data/a.b/fs"), "/data/a.b/fs.cfg");
    EXPECT_EQ(deriveCfgPath("/data/img/fs"), "/data/img/fs.cfg");
    EXPECT_EQ(deriveCfgPath("fs"), "fs.cfg");
}

TEST(Titles, TheProgramsNameIsNotAppendedToWindowTitles) {
    const QString before = QCoreApplication::applicationName();
    DownloaderApp::nameApplication();
    // The message boxes' title.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "ZR-K410 Downloader");
    // A display name of its own would be appended to every title ("X - ZR-K410 Downloader");
    // without one the display name only mirrors the application name.
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
    QCoreApplication::setApplicationName(before);
}

TEST(FileFilters, BarSeparatedFiltersBecomeQtFilters) {
    EXPECT_EQ(qtNameFilters("cla file (*.cla)|*.cla|bin file (*.bin)|*.bin|all files (*.*)|*.*||"),
              QStringList({"cla file (*.cla)", "bin file (*.bin)", "all files (*)"}));
    EXPECT_EQ(qtNameFilters("qix file (*.qix)|*.qix||"), QStringList{"qix file (*.qix)"});
    // The patterns decide, whatever the description says; several patterns are kept.
    EXPECT_EQ(qtNameFilters("Images|*.cla;*.bin||"), QStringList{"Images (*.cla *.bin)"});
    EXPECT_EQ(qtNameFilters(""), QStringList());
}

TEST(LaunchOptions, SimulatorOptionsFollowSim) {
    auto options = parseLaunchOptions({"zrk410-gui"});
    EXPECT_FALSE(options.simulator);
    EXPECT_TRUE(options.error.isEmpty());

    options = parseLaunchOptions({"zrk410-gui", "--sim", "--strict", "--seed", "4"});
    EXPECT_TRUE(options.simulator);
    EXPECT_EQ(options.simulatorArgs, (std::vector<std::string>{"--strict", "--seed", "4"}));

    options = parseLaunchOptions({"zrk410-gui", "--screenshots", "/tmp/s"});
    EXPECT_EQ(options.screenshotDir, "/tmp/s");

    EXPECT_FALSE(parseLaunchOptions({"zrk410-gui", "--screenshots"}).error.isEmpty());
    EXPECT_FALSE(parseLaunchOptions({"zrk410-gui", "--bogus"}).error.isEmpty());
}

}  // namespace
}  // namespace zrk

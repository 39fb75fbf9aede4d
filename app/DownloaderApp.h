#pragma once
// The application object: prepares Qt (names for the settings store, style, faces, icon), reads
// the command line, creates the program-wide serial port and runs the main window modally. The
// program ends when that window closes, whichever way it was closed.
#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace zrk {

struct LaunchOptions {
    bool simulator = false;
    std::vector<std::string> simulatorArgs;  // everything after --sim
    QString screenshotDir;                   // --screenshots DIR
    bool help = false;
    QString error;  // a bad command line, with what was wrong
};

LaunchOptions parseLaunchOptions(const QStringList& arguments);

// --help and --version are answered before the toolkit starts, so that they work without a
// display (the manual page is made from them at build time). Returns the exit status when one
// of them was asked for.
std::optional<int> answerWithoutWindow(int argc, const char* const* argv);

class DownloaderApp {
  public:
    // Call once, after the QApplication exists.
    static void prepareToolkit();
    // The names the settings and the desktop know the program by. No display name of its own:
    // the platform would append it to every window title, which already names the program.
    static void nameApplication();
    int run(const LaunchOptions& options);
};

}  // namespace zrk

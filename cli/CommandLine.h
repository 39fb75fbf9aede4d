#pragma once
// The zrk410 command line: global options, one sub-command per operation.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandNames.h"
#include "engine/SilenceWatch.h"

namespace zrk::cli {

struct Options {
    // Global.
    std::string port;               // "COM3", a device path, or empty for the stored choice
    std::optional<unsigned> speed;  // baud, or the stored choice
    bool sim = false;
    std::string simOptions;
    int timeoutSeconds = static_cast<int>(kDefaultSilenceLimit.count());  // 0: for ever
    std::string tracePath;
    std::string logPath;
    bool quiet = false;
    std::string codePage;  // of the .cfg names; empty: the locale's
    // Several phones at once: every --port, then every --ports entry, in order (port above is
    // the first of them).
    std::vector<std::string> portList;
    std::vector<std::string> portsList;
    unsigned phones = 0;                      // --sim --phones N; 0 when not given
    std::vector<std::string> simPortOptions;  // --sim-port COMn:OPTIONS
    bool loop = false;
    std::string reportPath;

    Command command = Command::Identify;
    // download
    std::string binPath;
    std::string qixPath;
    std::string startAddress;
    bool powerOn = false;
    bool verify = false;  // download --verify
    bool force = false;   // download --force: a --bin that looks like no firmware goes anyway
    // erase, dump
    std::string sectors;
    std::string outPath;
    // format
    bool yes = false;
    // crc
    std::string crcPath;
    // fs
    std::string fsPath = "/";
    unsigned nandPages = 64064;
    // qix, fs pull, fs backup (qixPath is the image of qix list and qix extract, outPath the
    // image qix create writes)
    std::string folder;  // what qix create packs; where extract, pull and backup write
    std::optional<std::string> qixVersion;
    std::optional<std::string> qixRelease;
};

struct ParseOutcome {
    std::optional<Options> options;  // set when a command should run
    int exitCode = 0;                // otherwise: 0 after --help, EXIT_USAGE after an error
};

// Help and usage errors are written to out and err.
ParseOutcome parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                              std::ostream& err);

}  // namespace zrk::cli

#pragma once
// One phone command from start to end: bring the phone up, run the operation, close the link,
// and say how it went as an exit code.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/PullCommand.h"
#include "cli/TerminalView.h"
#include "engine/DownloaderView.h"
#include "serial/PortMap.h"

namespace zrk::cli {

class TerminalOutput;

struct PhoneJob {
    Command command = Command::Identify;
    UserChoices choices;    // port, speed, download mode, files, start address, power-on
    PortMap ports;          // COMn to device paths (the stored choices)
    std::string device;     // a device path for port 1 (--port PATH), or empty
    PromptAnswers answers;  // sectors, output file, --yes
    std::chrono::seconds timeout{30};
    std::string tracePath;
    bool sim = false;
    bool quietSim = false;  // drop the simulator's own report
    bool quiet = false;     // --quiet: results only
    std::vector<std::string> simArgs;
    std::string fsPath = "/";         // the fs commands' path on the phone
    std::uint32_t nandPages = 64064;  // fs nand-dump
    CopyRequest copy;                 // fs pull, fs backup
};

int runPhoneJob(const PhoneJob& job, TerminalOutput& output);

// What one ended operation means for the exit status, said once on stderr.
int exitFor(const OperationOutcome& outcome, const TerminalView& view, TerminalOutput& output);

}  // namespace zrk::cli

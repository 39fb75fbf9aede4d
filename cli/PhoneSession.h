#pragma once
// One phone command from start to end: bring the phone up, run the operation, close the link,
// and say how it went as an exit code.
#include <chrono>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
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
    std::vector<std::string> simArgs;
};

int runPhoneJob(const PhoneJob& job, TerminalOutput& output);

}  // namespace zrk::cli

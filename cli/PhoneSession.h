#pragma once
// One phone command from start to end: bring the phone up, run the operation, close the link,
// and say how it went as an exit code.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommandNames.h"
#include "cli/PullCommand.h"
#include "cli/TerminalView.h"
#include "engine/DownloaderView.h"
#include "serial/PortMap.h"

namespace zrk {
class LinkSetup;
class ProtocolEngine;
}  // namespace zrk

namespace zrk::station {
class PhoneRecorder;
class StopSignal;
}  // namespace zrk::station

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

    // A run of several ports: Ctrl-C reaches the job through this, not a handler of its own.
    station::StopSignal* sharedInterrupt = nullptr;
    // What a run with a report learns of each phone, on that phone's own thread.
    station::PhoneRecorder* observer = nullptr;
    // The loop: wait for the next phone's boot ROM without the time-out (Ctrl-C ends the wait).
    bool waitForPhone = false;
};

int runPhoneJob(const PhoneJob& job, TerminalOutput& output);

// runPhoneJob between openJobLink and closeJobLink (cli/JobLink.h), so that one link can serve
// phone after phone.
int servePhone(const PhoneJob& job, const UserChoices& choices, LinkSetup& link,
               TerminalOutput& output);

}  // namespace zrk::cli

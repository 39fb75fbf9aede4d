#include "cli/PhoneSession.h"

#include <signal.h>

#include <atomic>
#include <cstring>

#include "bringup/BringUpStates.h"
#include "cli/ExitCodes.h"
#include "cli/TerminalOutput.h"
#include "engine/EngineLoop.h"
#include "engine/ProtocolEngine.h"
#include "loader/LoaderStates.h"
#include "serial/ByteTrace.h"
#include "serial/CommPort.h"
#include "serial/PortMap.h"
#include "serial/SimulatorProcess.h"

namespace zrk::cli {

namespace {

std::atomic<EngineLoop*> g_loop{nullptr};
volatile sig_atomic_t g_interrupted = 0;

void onSignal(int) {
    g_interrupted = 1;
    if (EngineLoop* loop = g_loop.load())
        loop->wake();
}

// Ctrl-C and SIGTERM end the wait, not the program: the link is then closed as Stop closes it.
class InterruptGuard {
  public:
    explicit InterruptGuard(EngineLoop& loop) {
        g_interrupted = 0;
        g_loop.store(&loop);
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_OldInt);
        ::sigaction(SIGTERM, &action, &m_OldTerm);
    }
    ~InterruptGuard() {
        ::sigaction(SIGINT, &m_OldInt, nullptr);
        ::sigaction(SIGTERM, &m_OldTerm, nullptr);
        g_loop.store(nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    struct sigaction m_OldInt {};
    struct sigaction m_OldTerm {};
};

// Texts of the message boxes that mean a file, not the phone, is at fault.
bool isFileProblem(const std::string& message) {
    return message == "Fail to open bin file!" || message == "Fail to open QIX file!" ||
           message == "Internal Error! (file creation)" || message == "No file selected!" ||
           message == "The dump file could not be written.";
}

const char* successMessage(Command command) {
    switch (command) {
        case Command::Download:
            return "Download completed!";
        case Command::Erase:
            return "Erasing Completed!";
        case Command::Dump:
            return "Dump Completed!";
        default:
            return "";
    }
}

const char* operationName(Command command) {
    switch (command) {
        case Command::Download:
            return "the download";
        case Command::Erase:
            return "the erase";
        case Command::Dump:
            return "the dump";
        default:
            return "the operation";
    }
}

// The operation's button, as the window's DOWNLOAD, "Erase..." and "Dump..." press it.
void pressOperation(Command command, ProtocolEngine& engine, TerminalView& view) {
    switch (command) {
        case Command::Download:
            view.setProgressUnit(ProgressUnit::Bytes);
            engine.download();
            break;
        case Command::Erase:
            view.setProgressUnit(ProgressUnit::Sectors);
            engine.erase();
            break;
        case Command::Dump:
            view.setProgressUnit(ProgressUnit::KBytes);
            engine.dump();
            break;
        default:
            break;
    }
}

}  // namespace

int runPhoneJob(const PhoneJob& job, TerminalOutput& output) {
    HexTraceFile trace;
    if (!job.tracePath.empty() && !trace.open(job.tracePath)) {
        output.diagnostic("cannot write the trace file " + job.tracePath + ": " +
                          std::strerror(errno));
        return EXIT_PORT_OR_FILE;
    }

    SimulatorProcess sim;
    UserChoices choices = job.choices;
    std::string device = job.device;
    if (job.sim) {
        std::string error;
        if (!sim.start(SimulatorProcess::locate(), job.simArgs, &error, job.quietSim)) {
            output.diagnostic("cannot start the phone simulator: " + error);
            return EXIT_PORT_OR_FILE;
        }
        device = sim.devicePath();
    }
    if (!device.empty()) {
        portMap().setDevice(1, device);
        choices.portIndex = 0;
    }

    CommPort port;
    if (!job.tracePath.empty())
        port.setTrace(&trace);
    EngineLoop loop;
    ScopedLinkOwner owner(&loop);
    TerminalView view(output, choices, job.answers);
    view.onStartTimer = [&](int ms) { loop.startTimer(ms); };
    view.onStopTimer = [&] { loop.stopTimer(); };

    int result = EXIT_OK;
    {
        ProtocolEngine engine(port, view);
        std::string lostReason;
        loop.onData = [&] { engine.onDataReceived(); };
        loop.onTimer = [&] { engine.onBaudTimer(); };
        loop.onMessage = [&](const std::string& text) {
            view.messageBox(text, MessageIcon::Warning);
        };
        loop.onLinkLost = [&](const std::string& reason) {
            lostReason = reason;
            engine.onLinkLost(reason);
        };
        InterruptGuard interrupts(loop);
        const auto interrupted = [] { return g_interrupted != 0; };
        const std::chrono::milliseconds silence = job.timeout;
        auto linkClosed = [&] { return !port.isConnected() && !engine.baudTimerRunning(); };

        // Says how a wait ended that did not end in success; returns the exit code.
        auto failure = [&](EngineLoop::RunResult how, const std::string& what) {
            // Ctrl-C on a terminal reaches the simulator too, which may hang up first.
            if (how == EngineLoop::RunResult::Interrupted || g_interrupted) {
                output.diagnostic("interrupted; closing the link");
                return int(EXIT_INTERRUPTED);
            }
            if (how == EngineLoop::RunResult::Silent) {
                std::string text =
                    "the phone sent nothing for " + std::to_string(job.timeout.count()) + " s";
                if (!engine.LoaderReady && engine.ProtocolState == bringup::WAIT_CONNECT_REQUEST)
                    text += "; is it cabled and switched on? (--timeout 0 waits for ever)";
                output.diagnostic(text);
                return int(EXIT_TIMEOUT);
            }
            if (!lostReason.empty()) {
                output.diagnostic("the connection to the phone was lost (" + lostReason + ")");
                return int(EXIT_PORT_OR_FILE);
            }
            for (const auto& m : view.messages()) {
                if (isFileProblem(m)) {
                    output.diagnostic(what + " failed: " + m);
                    return int(EXIT_PORT_OR_FILE);
                }
            }
            output.diagnostic(
                what + " failed: the phone replied wrongly" +
                (view.lastWords().empty() ? std::string() : " (" + view.lastWords() + ")"));
            return int(EXIT_PHONE_FAILED);
        };

        view.setProgressUnit(ProgressUnit::Bytes);
        engine.start();
        if (engine.ProtocolState != bringup::WAIT_CONNECT_REQUEST) {
            const OpenFailure why = port.lastOpenFailure();
            output.diagnostic(
                "cannot use the port " + portMap().device(choices.portIndex + 1) +
                (why.kind != OpenFailure::Kind::None ? ": " + why.describe() : std::string()));
            result = EXIT_PORT_OR_FILE;
        } else {
            // Bring-up ends in the loader phase, or in IDLE on a wrong reply, or with the link
            // stopped (wrong speed echo, unknown flash, cable pulled).
            const auto broughtUp = loop.runUntil(
                [&] { return engine.ProtocolState == IDLE || linkClosed(); }, silence, interrupted);
            if (broughtUp == EngineLoop::RunResult::Done && engine.LoaderReady == 1 &&
                !linkClosed()) {
                if (job.command == Command::Identify) {
                    const SectorMap& map = engine.sectorMap;
                    const SectorRecord& last = map[map.count() - 1];
                    const std::uint32_t megabytes =
                        (last.byteOffset() + last.byteSize()) / (1024 * 1024);
                    output.line("Flash: " + view.flashName() + " (" + std::to_string(megabytes) +
                                " MB NOR, " + std::to_string(map.count()) + " sectors)");
                } else {
                    view.clearRecord();
                    pressOperation(job.command, engine, view);
                    const auto ran =
                        loop.runUntil([&] { return engine.ProtocolState == IDLE || linkClosed(); },
                                      silence, interrupted);
                    const bool completed = view.sawMessage(successMessage(job.command));
                    if (!completed)
                        result = failure(ran, operationName(job.command));
                }
            } else {
                result = failure(broughtUp, "bringing the phone up");
            }
        }
        // Stop, on success and on failure, so the phone is left with a closed line.
        engine.stop();
        output.progressEnd();
    }
    port.setTrace(nullptr);
    trace.close();

    if (job.sim) {
        const int simStatus = sim.stop();
        if (simStatus == 1) {
            output.diagnostic("the phone simulator recorded protocol violations");
            if (result == EXIT_OK)
                result = EXIT_PHONE_FAILED;
        }
    }
    return result;
}

}  // namespace zrk::cli

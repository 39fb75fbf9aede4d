#include "cli/PhoneSession.h"

#include <optional>

#include "bringup/WaitingLine.h"
#include "cli/ExitCodes.h"
#include "cli/ExplorerSession.h"
#include "cli/JobLink.h"
#include "cli/OutcomeExit.h"
#include "cli/PortsCommand.h"
#include "cli/TerminalOutput.h"
#include "engine/EngineLoop.h"
#include "engine/OpenFailureText.h"
#include "filesystem/FormatAndStatus.h"
#include "protocol/ProtocolEngine.h"
#include "serial/InterruptSource.h"
#include "serial/LinkSetup.h"
#include "serial/PortMap.h"
#include "station/PhoneRecorder.h"
#include "station/PhoneWait.h"
#include "station/StopSignal.h"

namespace zrk::cli {

namespace {

// Ctrl-C, SIGTERM and SIGHUP end the wait, not the program: the link is then closed as Stop
// closes it. A write stuck on a dead device ends with the request too.
class InterruptGuard {
  public:
    InterruptGuard(EngineLoop& loop, CommPort& port)
        : m_Loop(loop), m_Port(port), m_Source(false, &InterruptGuard::onInterrupt, this) {}
    bool interrupted() const { return m_Source.interrupted(); }

  private:
    static void onInterrupt(void* context) {
        auto* self = static_cast<InterruptGuard*>(context);
        self->m_Port.cancelWrites();
        self->m_Loop.wake();
    }

    EngineLoop& m_Loop;
    CommPort& m_Port;
    InterruptSource m_Source;  // last: gone before the loop and port it wakes
};

// The operation's button, as the window's DOWNLOAD, "Erase..." and "Dump..." press it, with the
// command line's request.
void pressOperation(Command command, ProtocolEngine& engine, TerminalView& view,
                    const UserChoices& request) {
    switch (command) {
        case Command::Download:
            view.setProgressUnit(ProgressUnit::Bytes);
            engine.download(request);
            break;
        case Command::Erase:
            view.setProgressUnit(ProgressUnit::Sectors);
            engine.erase(request);
            break;
        case Command::Dump:
            view.setProgressUnit(ProgressUnit::Kilobytes);
            engine.dump(request);
            break;
        case Command::Format:
            engine.format(request);
            break;
        case Command::Status:
            engine.status(request);
            break;
        case Command::Verify:
            view.setProgressUnit(ProgressUnit::Bytes);
            engine.verify(request);
            break;
        default:
            break;
    }
}

// The record is in the log already; a quiet run still wants its result.
void printStatusRecord(const std::optional<FormatAndStatus::StatusRecord>& status,
                       TerminalOutput& output) {
    if (!status)
        return;
    const std::string record = FormatAndStatus::describeStatusRecord(*status);
    std::size_t from = 0;
    while (from < record.size()) {
        std::size_t end = record.find('\n', from);
        if (end == std::string::npos)
            end = record.size();
        std::string line = record.substr(from, end - from);
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        output.line(line);
        from = end + 1;
    }
}

}  // namespace

int servePhone(const PhoneJob& job, const UserChoices& choices, LinkSetup& link,
               TerminalOutput& output) {
    CommPort& port = link.port();
    station::PhoneRecorder* const observer = job.observer;
    EngineLoop loop;
    loop.attach(port);
    // Identification hands over to the command; it never presses DOWNLOAD by itself.
    UserChoices request = choices;
    request.autoDownload = false;
    TerminalView view(output, choices, job.answers);
    view.onStartTimer = [&](int ms) { loop.startTimer(ms); };
    view.onStopTimer = [&] { loop.stopTimer(); };

    int result = EXIT_OK;
    {
        ProtocolEngine engine(port, view);
        loop.onTimer = [&] { engine.onBaudTimer(); };
        // A run of several ports hears Ctrl-C once for all of them; a lone job takes it itself.
        std::optional<InterruptGuard> ownInterrupts;
        std::optional<station::StopSignal::Registration> sharedInterrupts;
        if (job.sharedInterrupt)
            sharedInterrupts.emplace(*job.sharedInterrupt, loop, port);
        else
            ownInterrupts.emplace(loop, port);
        station::StopSignal* const shared = job.sharedInterrupt;
        const auto interrupted = [shared, &ownInterrupts] {
            return shared ? shared->raised() : ownInterrupts->interrupted();
        };
        // A signal can cut a write short before the loop hears of it; the link was lost because
        // the user stopped the run, and the report says so.
        if (observer)
            view.onOutcome = [&](const OperationOutcome& o) {
                if (o.kind != OutcomeKind::LinkLost || !interrupted())
                    return observer->operationEnded(o, view.flashName());
                OperationOutcome stopped = o;
                stopped.kind = OutcomeKind::Stopped;
                observer->operationEnded(stopped, view.flashName());
            };
        if (observer) {
            observer->linkReady(link.ports().device(choices.portIndex + 1));
            observer->engineChanged(&engine);
        }
        const std::chrono::milliseconds silence = job.timeout;
        const auto ended = [&] { return view.outcome().has_value(); };

        // A wait that ended before its operation did; returns the exit code.
        auto cutShort = [&](EngineLoop::RunResult how) {
            // Ctrl-C on a terminal reaches the simulator too, which may hang up first.
            if (how == EngineLoop::RunResult::Interrupted || interrupted()) {
                output.diagnostic("interrupted; closing the link");
                return int(EXIT_INTERRUPTED);
            }
            std::string text =
                "the phone sent nothing for " + std::to_string(job.timeout.count()) + " s";
            if (engine.stage() == Stage::WaitingForPhone) {
                const std::string portWord =
                    job.device.empty() ? PortMap::portName(choices.portIndex + 1) : job.device;
                const std::string talking = talkingLineWords(portWord, engine.waitingLineVerdict());
                if (!talking.empty()) {
                    output.diagnostic(talking);
                    return int(EXIT_TIMEOUT);
                }
                text += "; is it cabled and switched on? (--timeout 0 waits for ever)";
            }
            output.diagnostic(text);
            return int(EXIT_TIMEOUT);
        };
        auto finished = [&](EngineLoop::RunResult how) {
            if (interrupted() || !view.outcome())
                return cutShort(how);
            return exitFor(*view.outcome(), output);
        };
        auto press = [&] {
            if (observer)
                observer->operationStarting();
            pressOperation(job.command, engine, view, request);
        };

        view.setProgressUnit(ProgressUnit::Bytes);
        if (observer)
            observer->operationStarting();
        engine.start(request);
        // The next phone on the cable may be a while: only its first byte starts the clock.
        bool noPhone = false;
        bool portGone = false;
        if (job.waitForPhone && !view.outcome()) {
            const bool spoke = station::awaitPhone(loop, port, engine, ended,
                                                   std::chrono::milliseconds(0), interrupted);
            noPhone = !spoke && interrupted();
            portGone = !spoke && !noPhone && view.outcome() &&
                       view.outcome()->kind == OutcomeKind::LinkLost;
            if (spoke && observer)
                observer->phoneAnswered();
        }
        if (noPhone) {
            result = EXIT_INTERRUPTED;
        } else if (portGone) {
            output.diagnostic("the port " + link.ports().device(choices.portIndex + 1) +
                              " went away while waiting for the next phone (" +
                              view.outcome()->detail + ")");
            result = EXIT_PORT_OR_FILE;
        } else if (view.outcome() && view.outcome()->cause == FailureCause::Port) {
            const OpenFailure why = port.lastOpenFailure();
            output.diagnostic("cannot use the port " + link.ports().device(choices.portIndex + 1) +
                              (why.kind != OpenFailure::Kind::None ? ": " + describeOpenFailure(why)
                                                                   : std::string()));
            if (why.kind == OpenFailure::Kind::NotFound)
                for (const std::string& line : missingDeviceHelp())
                    output.diagnostic(line);
            result = EXIT_PORT_OR_FILE;
        } else {
            const auto broughtUp = loop.runUntil(ended, silence, interrupted);
            result = finished(broughtUp);
            if (result == EXIT_OK) {
                if (job.command == Command::Identify) {
                    const SectorMap map = engine.sectorMap();
                    output.line("Flash: " + view.flashName() + " (" +
                                std::to_string(map.activeBytes() / (1024 * 1024)) + " MB NOR, " +
                                std::to_string(map.count()) + " sectors)");
                } else if (isExplorerCommand(job.command)) {
                    view.clearRecord();
                    if (observer)
                        observer->operationStarting();
                    result = runExplorerCommand(job, port, loop, view, output, interrupted);
                } else if (job.command == Command::Verify &&
                           job.choices.downloadMode == DownloadMode::ModeBinAndQix) {
                    // Both images: the firmware first, then the file system, as a download.
                    for (const DownloadMode part : {DownloadMode::ModeBin, DownloadMode::ModeQix}) {
                        view.clearRecord();
                        request.downloadMode = part;
                        press();
                        result = finished(loop.runUntil(ended, silence, interrupted));
                        if (result != EXIT_OK)
                            break;
                    }
                } else {
                    view.clearRecord();
                    press();
                    result = finished(loop.runUntil(ended, silence, interrupted));
                    if (result == EXIT_OK && job.quiet && job.command == Command::Status)
                        printStatusRecord(engine.statusRecord(), output);
                }
            }
        }
        // Stop, on success and on failure, so the phone is left with a closed line.
        engine.stop();
        output.progressEnd();
        if (observer)
            observer->engineChanged(nullptr);
    }
    return result;
}

int runPhoneJob(const PhoneJob& job, TerminalOutput& output) {
    // This job's own view of the port names: the simulator, or a device path given for the
    // job, stands in for COM1.
    PortMap ports = job.ports;
    LinkSetup link(ports);
    UserChoices choices;
    if (const int failed = openJobLink(job, link, choices, output); failed != EXIT_OK)
        return failed;
    const int result = servePhone(job, choices, link, output);
    return closeJobLink(job, link, output, result);
}

}  // namespace zrk::cli

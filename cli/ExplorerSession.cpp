#include "cli/ExplorerSession.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/OutcomeExit.h"
#include "cli/TerminalEncoding.h"
#include "cli/TerminalOutput.h"
#include "engine/EngineLoop.h"
#include "engine/SafeText.h"
#include "filesystem/CodePage.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/FolderPull.h"
#include "filesystem/explorer/PhonePath.h"
#include "station/PhoneRecorder.h"

namespace zrk::cli {

namespace {

// The explorer's view on a terminal: the log, the messages and the prompts are the command's
// own (TerminalView's); the tree and the list are kept as the names of the listed directory.
class TerminalExplorerView : public ExplorerView {
  public:
    // confirmed: the command itself named the file to delete, so its question is answered.
    // logShown: the log reaches the terminal (no --quiet).
    TerminalExplorerView(TerminalView& view, bool confirmed, bool logShown)
        : m_View(view), m_Confirmed(confirmed), m_LogShown(logShown) {}

    void appendLog(std::string_view text) override {
        m_LastLog = text;
        m_View.appendLog(text);
    }
    void setLogText(const std::string& text) override { m_View.setLogText(text); }
    void setProgressRange(std::uint32_t total) override { m_View.setProgressRange(total); }
    void setProgressPos(std::uint32_t position) override { m_View.setProgressPos(position); }
    void messageBox(const std::string& text, MessageIcon icon) override {
        // The log line just shown said it ("** Dump Completed! **"): once is enough.
        if (m_LogShown && m_LastLog.find("** " + text + " **") != std::string::npos)
            return;
        m_View.messageBox(text, icon);
    }
    bool askYesNo(const std::string& text) override { return m_Confirmed || m_View.askYesNo(text); }
    std::string chooseSaveFile(const SaveFileRequest& request) override {
        return m_View.chooseSaveFile(request);
    }
    void operationEnded(const OperationOutcome& outcome) override { m_Outcome = outcome; }

    void addDirectoryNode(const std::string& parent, const std::string& name) override {
        m_Names.push_back({parent, name + "/"});
    }
    void addFileLine(const std::string& text) override {
        std::string name = text;
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        m_Names.push_back({std::nullopt, name});
    }
    void clearFileList() override { m_Names.clear(); }
    void setWorkingControlsEnabled(bool) override {}
    void setTreeEnabled(bool) override {}
    void closeExplorer() override { m_Closed = true; }
    void startQuietTimer(int milliseconds) override {
        if (onStartTimer)
            onStartTimer(milliseconds);
    }
    void stopQuietTimer() override {
        if (onStopTimer)
            onStopTimer();
    }

    // The quiet timer lives in the event loop.
    std::function<void(int)> onStartTimer;
    std::function<void()> onStopTimer;

    // The names of the last listing under the directory at path.
    std::vector<std::string> namesIn(const std::string& path) const {
        std::vector<std::string> out;
        for (const auto& [parent, name] : m_Names)
            if (!parent || *parent == path)
                out.push_back(name);
        return out;
    }
    std::optional<OperationOutcome> takeOutcome() { return std::exchange(m_Outcome, {}); }
    bool closed() const { return m_Closed; }

  private:
    TerminalView& m_View;
    bool m_Confirmed;
    bool m_LogShown;
    std::string m_LastLog;
    // Directories carry their parent: a listing only reports those it adds to the tree.
    std::vector<std::pair<std::optional<std::string>, std::string>> m_Names;
    std::optional<OperationOutcome> m_Outcome;
    bool m_Closed = false;
};

// The exchange's own result stands when it failed; after a good one, an unmount the phone did
// not confirm makes the run fail too: the file system may be left mounted, and a delete or a
// read-out cannot be trusted to have reached the flash.
int closingExit(int result, EngineLoop::RunResult closing,
                const std::optional<OperationOutcome>& unmount, const PhoneJob& job,
                TerminalOutput& output, bool interrupted) {
    int code = EXIT_OK;
    std::string why;
    if (closing == EngineLoop::RunResult::Interrupted || interrupted) {
        code = EXIT_INTERRUPTED;
        why = "interrupted before the phone confirmed the unmount";
    } else if (!unmount) {
        code = EXIT_TIMEOUT;
        why = "the phone did not answer the unmount (E4h) within " +
              std::to_string(job.timeout.count()) + " s";
    } else if (unmount->kind == OutcomeKind::LinkLost) {
        code = EXIT_PORT_OR_FILE;
        why = "the connection to the phone was lost during the unmount (" + unmount->detail + ")";
    } else if (!unmount->completed()) {
        code = EXIT_PHONE_FAILED;
        why = "the unmount failed: " + unmount->detail;
    }
    if (code == EXIT_OK)
        return result;
    output.diagnostic(why + "; the phone's file system may still be mounted");
    return result == EXIT_OK ? code : result;
}

}  // namespace

int runExplorerCommand(const PhoneJob& job, SerialLink& link, EngineLoop& loop, TerminalView& view,
                       TerminalOutput& output, const std::function<bool()>& interrupted) {
    std::string error;
    // What the terminal types and shows is in the locale's encoding; --codepage names the
    // .cfg's page alone, so it never reaches the explorer.
    const std::string codePageName = terminalEncoding().codePage;
    auto codePage = CodePage::open(codePageName, &error);
    if (!codePage) {
        output.diagnostic("cannot use the code page " + codePageName + ": " + error);
        return EXIT_USAGE;
    }
    TerminalExplorerView xview(view, job.command == Command::FsRemove, !job.quiet);
    ExplorerEngine explorer(link, xview, std::move(*codePage), systemClock(), job.nandPages);
    const std::chrono::milliseconds silence = job.timeout;
    // The loop's one timer is the baud switch's, which is long over: the explorer borrows it.
    const auto baudTimer = std::exchange(loop.onTimer, [&] { explorer.onQuietTimer(); });
    xview.onStartTimer = [&](int ms) { loop.startTimer(ms); };
    xview.onStopTimer = [&] { loop.stopTimer(); };

    // One exchange to its outcome; nullopt when the wait ended first.
    std::optional<EngineLoop::RunResult> cut;
    auto await = [&]() -> std::optional<OperationOutcome> {
        std::optional<OperationOutcome> outcome;
        const auto how = loop.runUntil(
            [&] {
                if (!outcome)
                    outcome = xview.takeOutcome();
                return outcome.has_value();
            },
            silence, interrupted);
        if (!outcome)
            cut = how;
        return outcome;
    };

    // Declared after the explorer: a copy cut short gives the explorer its view back first.
    std::optional<FolderPull> copy;

    view.setProgressUnit(ProgressUnit::Bytes);
    explorer.open();
    auto outcome = await();
    const bool mounted = outcome && outcome->completed();
    if (mounted) {
        const std::string listed =
            job.command == Command::FsList ? phoneDirectory(job.fsPath) : std::string("/");
        switch (job.command) {
            case Command::FsList:
                if (listed != "/") {
                    explorer.listDirectory(listed);
                    outcome = await();
                }
                break;
            case Command::FsGet:
                explorer.readOut(job.fsPath);
                outcome = await();
                break;
            case Command::FsRemove:
                explorer.deleteFile(job.fsPath);
                outcome = await();
                break;
            case Command::FsStat:
                explorer.fileStatus(job.fsPath);
                outcome = await();
                break;
            case Command::FsNandDump:
                explorer.nandDump();
                outcome = await();
                break;
            case Command::FsPull:
            case Command::FsBackup:
                copy.emplace(explorer);
                startFolderCopy(*copy, job, output);
                outcome = await();
                break;
            default:
                break;
        }
        if (outcome && outcome->completed() && job.command == Command::FsList) {
            output.startNewLine();
            for (const auto& name : xview.namesIn(listed))
                output.line(output.printable(name));
        }
        // The report is in the log already; a quiet run still wants its result.
        if (outcome && outcome->completed() && job.command == Command::FsStat && job.quiet &&
            explorer.lastStatus()) {
            for (std::string text : explorer.lastStatus()->report()) {
                while (!text.empty() && text.front() == '\n')
                    text.erase(text.begin());
                while (!text.empty() &&
                       (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
                    text.pop_back();
                output.line(text);
            }
        }
    }
    output.progressEnd();

    // Ctrl-C, SIGTERM or SIGHUP before the exchange completed: the run was interrupted, also
    // when the write the signal cancelled ended the exchange as a lost link. A read-out or
    // NAND dump keeps the bytes it received, as a dump does, and says where.
    const bool cutByInterrupt = (cut && *cut == EngineLoop::RunResult::Interrupted) ||
                                (interrupted() && !(outcome && outcome->completed()));
    if (cutByInterrupt) {
        explorer.interrupt("an interrupt");
        const std::string& kept = explorer.cutShortKept();
        output.diagnostic("interrupted; " +
                          (kept.empty()
                               ? std::string()
                               : "the bytes received so far are in " + printableName(kept) + "; ") +
                          "closing the link");
    }

    // The command's own result first, in its own words; the closing exchange can only add.
    int result = EXIT_OK;
    if (outcome) {
        if (job.observer)
            job.observer->operationEnded(*outcome, view.flashName());
        if (!cutByInterrupt)
            result = copy ? finishFolderCopy(job, copy->summary(), *outcome, output)
                          : exitFor(*outcome, output);
    }

    // The closing exchange, whatever happened: the phone unmounts and the link goes back. Its
    // wait goes on from the last reply the command's exchange accepted, so after a phone that
    // fell silent it ends at once: one --timeout, not two.
    bool closingSent = false;
    EngineLoop::RunResult closing = EngineLoop::RunResult::Done;
    if (explorer.isOpen() && !interrupted()) {
        explorer.exit();
        closingSent = true;
        (void)xview.takeOutcome();
        closing = loop.runUntil([&] { return xview.closed(); }, silence, interrupted,
                                EngineLoop::SilenceFrom::LastReply);
    }

    loop.stopTimer();
    loop.onTimer = baudTimer;

    if (cutByInterrupt)
        return EXIT_INTERRUPTED;
    if (!outcome) {
        output.diagnostic("the phone sent nothing for " + std::to_string(job.timeout.count()) +
                          " s");
        return EXIT_TIMEOUT;
    }
    if (!closingSent)
        return result;
    return closingExit(result, closing, explorer.unmountOutcome(), job, output, interrupted());
}

}  // namespace zrk::cli

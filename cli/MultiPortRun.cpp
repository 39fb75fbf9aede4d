#include "cli/MultiPortRun.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cli/ExitCodes.h"
#include "cli/ExitRanking.h"
#include "cli/JobLink.h"
#include "cli/OutputNames.h"
#include "cli/PortStage.h"
#include "cli/PortSummary.h"
#include "cli/PortTargets.h"
#include "cli/PortTask.h"
#include "cli/ProgressMeter.h"
#include "cli/PullCommand.h"
#include "cli/ReportedRun.h"
#include "files/PathText.h"
#include "filesystem/QixConfig.h"
#include "protocol/ProtocolEngine.h"
#include "report/ReportJson.h"
#include "serial/LinkSetup.h"
#include "serial/PortMap.h"
#include "station/SideBySide.h"
#include "station/StopSignal.h"

namespace zrk::cli {

namespace {

// The folder DIR of a copy with the port's name after it: "saved" and COM2 give "saved-COM2",
// a device path gives its last part, as perPortPath does for files.
std::string perPortFolder(const std::string& folder, const std::string& portName) {
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const auto slash = base.rfind('/');
    const std::string last = slash == std::string::npos ? base : base.substr(slash + 1);
    // "." or ".." would give a hidden name beside it, not a folder named after this one.
    if (last == "." || last == ".." || base == "/")
        base = textOfPath(std::filesystem::absolute(pathOfText(base)).lexically_normal());
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    std::string tag = portName;
    if (const auto at = tag.rfind('/'); at != std::string::npos)
        tag = tag.substr(at + 1);
    return base + "-" + tag;
}

class SeveralPhones {
  public:
    SeveralPhones(const Options& o, TerminalOutput& output) : m_Options(o), m_Base(output) {}

    bool addTargets(const PhoneJob& base, std::string* error);
    // Before any phone: every port's own folder can take its copy. The exit code.
    int checkCopyTargets();
    int run(const std::vector<std::string>& arguments);

  private:
    void servePort(PortTask& task);
    std::string stageOf(const PortTask& task) const;

    const Options& m_Options;
    TerminalOutput& m_Base;
    std::vector<std::unique_ptr<PortTask>> m_Tasks;
    std::unique_ptr<PortScreen> m_Screen;
    station::StopSignal m_Interrupt;
};

bool SeveralPhones::addTargets(const PhoneJob& base, std::string* error) {
    std::vector<PortTarget> targets;
    if (!portTargets(m_Options, base, &targets, error))
        return false;

    std::vector<std::string> names;
    for (const auto& target : targets)
        names.push_back(target.first);
    m_Screen = std::make_unique<PortScreen>(m_Base, names);

    const auto images = report::imagesFor(base.choices);
    const bool several = targets.size() > 1;
    for (auto& [name, job] : targets) {
        auto task = std::make_unique<PortTask>();
        task->index = static_cast<int>(m_Tasks.size());
        task->name = name;
        task->job = std::move(job);
        PhoneJob& j = task->job;
        // Each port writes files of its own.
        if (several && !j.tracePath.empty())
            j.tracePath = perPortPath(j.tracePath, name);
        if (several && !j.answers.saveFile.empty())
            j.answers.saveFile = perPortPath(j.answers.saveFile, name);
        // One folder per phone: two phones' files merged into one copy would be neither's.
        if (several && !j.copy.folder.empty())
            j.copy.folder = perPortFolder(j.copy.folder, name);
        j.sharedInterrupt = &m_Interrupt;
        j.waitForPhone = m_Options.loop;
        // The simulators' own reports would land in the middle of the port lines; what they
        // saw still makes the exit code.
        j.quietSim = true;
        task->output = std::make_unique<PortOutput>(*m_Screen, static_cast<int>(m_Tasks.size()));
        task->recorder =
            std::make_unique<station::PhoneRecorder>(name, j.choices, j.answers.sectors, images);
        j.observer = task->recorder.get();
        PortTask* raw = task.get();
        task->output->stageProbe = [this, raw] { return stageOf(*raw); };
        m_Tasks.push_back(std::move(task));
    }
    std::vector<NamedOutput> outputs = {{"--report", m_Options.reportPath},
                                        {"--log", m_Options.logPath}};
    for (const auto& task : m_Tasks) {
        outputs.push_back({"--out of " + task->name, task->job.answers.saveFile});
        outputs.push_back({"--trace of " + task->name, task->job.tracePath});
        const std::string& folder = task->job.copy.folder;
        if (!folder.empty()) {
            outputs.push_back({"the folder of " + task->name, folder, true});
            if (m_Options.command == Command::FsBackup) {
                const std::string image = backupImagePath(folder);
                outputs.push_back({"the backup image of " + task->name, image});
                outputs.push_back(
                    {"the backup configuration of " + task->name, configPathFor(image)});
            }
        }
    }
    const auto inputs =
        imageInputs(base.choices.binPath, base.choices.qixPath, base.choices.cfgPath);
    if (std::string refusal = outputsRefusal(outputs, inputs); !refusal.empty()) {
        *error = std::move(refusal);
        return false;
    }
    return true;
}

int SeveralPhones::checkCopyTargets() {
    if (m_Options.command != Command::FsPull && m_Options.command != Command::FsBackup)
        return EXIT_OK;
    for (const auto& task : m_Tasks) {
        if (const int refused =
                checkCopyTarget(m_Options.command, task->job.copy, m_Options.codePage, m_Base))
            return refused;
    }
    return EXIT_OK;
}

std::string SeveralPhones::stageOf(const PortTask& task) const {
    const ProtocolEngine* engine = task.recorder->engine();
    if (!engine)
        return {};
    return portStageLabel(engine->stage(), m_Options.command, m_Options.loop);
}

void SeveralPhones::servePort(PortTask& task) {
    PortOutput& out = *task.output;
    station::PhoneRecorder& recorder = *task.recorder;
    PortScreen& screen = *m_Screen;
    PortMap ports = task.job.ports;
    LinkSetup link(ports);
    UserChoices choices;
    if (const int failed = openJobLink(task.job, link, choices, out); failed != EXIT_OK) {
        task.worst = failed;
        recorder.record().note = out.lastDiagnostic();
        out.stageProbe = {};
        out.setStage(portStageLabel(station::PortState::Failed));
        return;
    }
    while (true) {
        recorder.beginPhone(m_Options.loop);
        out.clearLastDiagnostic();
        const int phone = servePhone(task.job, choices, link, out);
        const bool spoke = recorder.answered();
        recorder.endPhone(phoneEnding(phone, out.lastDiagnostic()));
        if (!spoke && m_Options.loop) {
            // No phone came: Ctrl-C ended the wait, or the port itself cannot be used.
            out.setStage(portStageLabel(phone == EXIT_INTERRUPTED
                                            ? station::PortState::Stopped
                                            : station::PortState::PortProblem));
            if (phone != EXIT_INTERRUPTED) {
                task.worst = moreSerious(task.worst, phone);
                recorder.record().note = out.lastDiagnostic();
                out.diagnostic("no more phones on this port");
            }
            break;
        }
        out.setStage(phone == EXIT_OK ? portStageLabel(station::PortState::Done)
                                      : phoneResultFor(phone));
        task.worst = moreSerious(task.worst, phone);
        if (phone != EXIT_OK)
            task.lastReason = out.lastDiagnostic();
        if (m_Options.loop) {
            const auto& served = recorder.record().phones.back();
            const double seconds =
                std::chrono::duration<double>(served.ended - served.started).count();
            out.line("phone " + std::to_string(served.number) + " " + served.result + " (" +
                     formatDuration(seconds) + ")");
            screen.setCounts(task.index, recorder.passed(), recorder.failed());
        }
        if (!m_Options.loop || m_Interrupt.raised())
            break;
    }
    const int closing = closeJobLink(task.job, link, out, EXIT_OK);
    if (closing != EXIT_OK) {
        task.worst = moreSerious(task.worst, closing);
        recorder.record().note = out.lastDiagnostic();
    }
}

int SeveralPhones::run(const std::vector<std::string>& arguments) {
    report::RunReport report = reportFrame(m_Options, arguments);
    if (!m_Options.logPath.empty() && !m_Screen->openLogFile(m_Options.logPath)) {
        m_Base.diagnostic("cannot write the log file " + m_Options.logPath + ": " +
                          std::strerror(errno));
        return EXIT_PORT_OR_FILE;
    }
    station::serveSideBySide(m_Tasks.size(), m_Interrupt,
                             [this](std::size_t port) { servePort(*m_Tasks[port]); });
    m_Screen->finish();

    int result = EXIT_OK;
    for (const auto& task : m_Tasks) {
        result = moreSerious(result, task->worst);
        report.ports.push_back(task->recorder->record());
    }
    printPortSummary(*m_Screen, m_Tasks, m_Options.loop);
    report.ended = std::chrono::system_clock::now();
    report.exitCode = result;
    if (!m_Options.reportPath.empty()) {
        std::string error;
        if (!report::writeReport(report, m_Options.reportPath, &error)) {
            m_Base.diagnostic("cannot write the report " + m_Options.reportPath + ": " + error);
            result = moreSerious(result, EXIT_PORT_OR_FILE);
        }
    }
    if (!m_Screen->closeLogFile()) {
        m_Base.diagnostic("the log file " + m_Options.logPath + " could not be written completely");
        if (result == EXIT_OK)
            result = EXIT_PORT_OR_FILE;
    }
    if (const int error = m_Screen->outputError()) {
        m_Base.diagnostic(std::string("the log could not be written to standard output: ") +
                          std::strerror(error));
        if (result == EXIT_OK)
            result = EXIT_PORT_OR_FILE;
    }
    return result;
}

}  // namespace

int runSeveralPhones(const Options& o, const PhoneJob& base,
                     const std::vector<std::string>& arguments, TerminalOutput& output) {
    SeveralPhones run(o, output);
    std::string error;
    if (!run.addTargets(base, &error)) {
        output.diagnostic(error);
        return EXIT_USAGE;
    }
    if (const int refused = run.checkCopyTargets())
        return refused;
    return run.run(arguments);
}

}  // namespace zrk::cli

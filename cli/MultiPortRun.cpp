#include "cli/MultiPortRun.h"
#include "cli/OutputNames.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include "cli/ExitCodes.h"
#include "cli/PhoneRecorder.h"
#include "cli/PortLines.h"
#include "cli/ProgressMeter.h"
#include "cli/SharedInterrupt.h"
#include "cli/SimArguments.h"
#include "cli/TerminalOutput.h"
#include "protocol/ProtocolEngine.h"
#include "report/ReportJson.h"
#include "serial/LinkSetup.h"
#include "serial/PortMap.h"
#include "serial/Waiter.h"

namespace zrk::cli {

namespace {

const char* commandName(Command c) {
    switch (c) {
        case Command::Identify:
            return "identify";
        case Command::Download:
            return "download";
        case Command::Erase:
            return "erase";
        case Command::Dump:
            return "dump";
        case Command::Format:
            return "format";
        case Command::Status:
            return "status";
        case Command::Crc:
            return "crc";
        case Command::FsList:
            return "fs ls";
        case Command::FsGet:
            return "fs get";
        case Command::FsRemove:
            return "fs rm";
        case Command::FsStat:
            return "fs stat";
        case Command::FsNandDump:
            return "fs nand-dump";
        case Command::Verify:
            return "verify";
        case Command::FsPull:
            return "fs pull";
        case Command::FsBackup:
            return "fs backup";
        case Command::QixCreate:
            return "qix create";
        case Command::QixList:
            return "qix list";
        case Command::QixExtract:
            return "qix extract";
        case Command::Doctor:
            return "doctor";
    }
    return "?";
}

// What the port's line says while the command runs.
const char* workingStage(Command c) {
    switch (c) {
        case Command::Identify:
            return "identified";
        case Command::Download:
            return "downloading";
        case Command::Erase:
            return "erasing";
        case Command::Dump:
            return "dumping";
        case Command::Format:
            return "formatting";
        case Command::Status:
            return "reading status";
        case Command::Verify:
            return "verifying";
        default:
            return "file system";
    }
}

// One port of the run, touched by its own thread until it is joined.
struct PortTask {
    int index = 0;
    std::string name;
    PhoneJob job;
    std::unique_ptr<PortOutput> output;
    std::unique_ptr<PhoneRecorder> recorder;
    int worst = EXIT_OK;
    std::string lastReason;  // of the last phone that failed
};

class SeveralPhones {
  public:
    SeveralPhones(const Options& o, TerminalOutput& output) : m_Options(o), m_Base(output) {}

    bool addTargets(const PhoneJob& base, std::string* error);
    int run(const std::vector<std::string>& arguments);

  private:
    void servePort(PortTask& task);
    std::string stageOf(const PortTask& task) const;
    void summarise();

    const Options& m_Options;
    TerminalOutput& m_Base;
    std::vector<std::unique_ptr<PortTask>> m_Tasks;
    std::unique_ptr<PortScreen> m_Screen;
    SharedInterrupt m_Interrupt;
};

bool SeveralPhones::addTargets(const PhoneJob& base, std::string* error) {
    std::vector<std::pair<std::string, PhoneJob>> targets;
    if (m_Options.sim) {
        const unsigned phones = std::max(1u, m_Options.phones);
        for (unsigned n = 1; n <= phones; ++n) {
            PhoneJob job = base;
            const std::string name = PortMap::portName(static_cast<int>(n));
            for (const auto& entry : m_Options.simPortOptions) {
                const auto colon = entry.find(':');
                if (PortMap::parsePortName(entry.substr(0, colon)) == static_cast<int>(n)) {
                    const auto more = splitSimOptions(entry.substr(colon + 1));
                    job.simArgs.insert(job.simArgs.end(), more.begin(), more.end());
                }
            }
            targets.emplace_back(name, std::move(job));
        }
    } else if (m_Options.portList.empty()) {
        targets.emplace_back(PortMap::portName(base.choices.portIndex + 1), base);
    } else {
        for (const auto& text : m_Options.portList) {
            PhoneJob job = base;
            if (const auto number = PortMap::parsePortName(text)) {
                job.choices.portIndex = *number - 1;
                targets.emplace_back(PortMap::portName(*number), std::move(job));
            } else if (text.find('/') != std::string::npos) {
                job.device = text;
                targets.emplace_back(text, std::move(job));
            } else {
                *error = "--port: '" + text +
                         "' is neither COM1..COM20 nor a device path such as /dev/ttyUSB0";
                return false;
            }
        }
    }

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
        j.sharedInterrupt = &m_Interrupt;
        j.waitForPhone = m_Options.loop;
        // The simulators' own reports would land in the middle of the port lines; what they
        // saw still makes the exit code.
        j.quietSim = true;
        task->output = std::make_unique<PortOutput>(*m_Screen, static_cast<int>(m_Tasks.size()));
        task->recorder =
            std::make_unique<PhoneRecorder>(name, j.choices, j.answers.sectors, images);
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
    }
    if (std::string clash = outputClash(outputs); !clash.empty()) {
        *error = std::move(clash);
        return false;
    }
    return true;
}

std::string SeveralPhones::stageOf(const PortTask& task) const {
    const ProtocolEngine* engine = task.recorder->engine();
    if (!engine)
        return {};
    switch (engine->stage()) {
        case Stage::WaitingForPhone:
            return m_Options.loop ? "waiting for next phone" : "waiting for power-on";
        case Stage::Initial:
        case Stage::Idle:
        case Stage::BringingUp:
            return "bringing up";
        case Stage::Verifying:
            return "verifying";
        case Stage::Ready:
        case Stage::Working:
            break;
    }
    return workingStage(m_Options.command);
}

void SeveralPhones::servePort(PortTask& task) {
    PortOutput& out = *task.output;
    PhoneRecorder& recorder = *task.recorder;
    PortScreen& screen = *m_Screen;
    PortMap ports = task.job.ports;
    LinkSetup link(ports);
    UserChoices choices;
    if (const int failed = openJobLink(task.job, link, choices, out); failed != EXIT_OK) {
        task.worst = failed;
        recorder.record().note = out.lastDiagnostic();
        out.stageProbe = {};
        out.setStage("failed");
        return;
    }
    while (true) {
        recorder.beginPhone(m_Options.loop);
        out.clearLastDiagnostic();
        const int phone = servePhone(task.job, choices, link, out);
        const bool spoke = recorder.answered();
        recorder.endPhone(phone, out.lastDiagnostic());
        if (!spoke && m_Options.loop) {
            // No phone came: Ctrl-C ended the wait, or the port itself cannot be used.
            out.setStage(phone == EXIT_INTERRUPTED ? "stopped" : "port problem");
            if (phone != EXIT_INTERRUPTED) {
                task.worst = moreSerious(task.worst, phone);
                recorder.record().note = out.lastDiagnostic();
                out.diagnostic("no more phones on this port");
            }
            break;
        }
        out.setStage(phone == EXIT_OK ? "done" : phoneResultFor(phone));
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
        if (!m_Options.loop || m_Interrupt.interrupted())
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
    Waiter waiter;
    std::atomic<std::size_t> running{m_Tasks.size()};
    {
        InterruptSignals signals;
        constexpr std::uint64_t kSignalTag = 1;
        waiter.watch(signals.fd(), kSignalTag);
        std::vector<std::thread> threads;
        for (auto& task : m_Tasks) {
            threads.emplace_back([this, &task, &running, &waiter] {
                servePort(*task);
                running.fetch_sub(1);
                waiter.wake();
            });
        }
        // The main thread only listens: for Ctrl-C, which it hands to every port, and for the
        // ports' ends.
        while (running.load() > 0) {
            Waiter::Ready ready[2];
            const int n = waiter.wait(ready, -1);
            if (n < 0)
                break;
            if (n > 0 && ready[0].tag == kSignalTag) {
                signals.drain();
                m_Interrupt.interrupt();
            }
        }
        for (auto& thread : threads)
            thread.join();
    }
    m_Screen->finish();

    int result = EXIT_OK;
    for (const auto& task : m_Tasks) {
        result = moreSerious(result, task->worst);
        report.ports.push_back(task->recorder->record());
    }
    summarise();
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

void SeveralPhones::summarise() {
    const bool loop = m_Options.loop;
    std::size_t nameWidth = 4;
    for (const auto& task : m_Tasks)
        nameWidth = std::max(nameWidth, task->name.size());
    auto column = [](std::string text, std::size_t width) {
        text.resize(std::max(width, text.size() + 1), ' ');
        return text;
    };
    std::string head = column("port", nameWidth + 2) + column("flash", 14);
    if (loop)
        head += column("phones", 8) + column("passed", 8) + column("failed", 8);
    head += column("bytes", 12) + column("time", 9) + "result";
    m_Screen->plainLine("");
    m_Screen->plainLine(head);
    int phones = 0, passed = 0;
    for (const auto& task : m_Tasks) {
        const report::PortRecord& record = task->recorder->record();
        std::string flash;
        std::uint64_t bytes = 0;
        double seconds = 0;
        for (const auto& phone : record.phones) {
            if (!phone.flashName.empty())
                flash = phone.flashName;
            for (const auto& op : phone.operations)
                bytes += op.bytes;
            seconds += std::chrono::duration<double>(phone.ended - phone.started).count();
        }
        const int served = static_cast<int>(record.phones.size());
        phones += served;
        passed += task->recorder->passed();
        std::string result;
        if (!record.note.empty() && (served == 0 || task->worst != EXIT_OK))
            result = phoneResultFor(task->worst) + ": " + record.note;
        else if (served == 0)
            result = loop ? "no phone came" : phoneResultFor(task->worst);
        else if (task->worst == EXIT_OK)
            result = "passed";
        else if (loop)
            result = "last failure: " + task->lastReason;
        else
            result = record.phones.back().result +
                     (task->lastReason.empty() ? std::string() : ": " + task->lastReason);
        std::string row =
            column(task->name, nameWidth + 2) + column(flash.empty() ? "-" : flash, 14);
        if (loop)
            row += column(std::to_string(served), 8) +
                   column(std::to_string(task->recorder->passed()), 8) +
                   column(std::to_string(task->recorder->failed()), 8);
        row += column(std::to_string(bytes), 12) + column(formatDuration(seconds), 9) + result;
        m_Screen->plainLine(row);
    }
    m_Screen->plainLine(std::to_string(phones) + (phones == 1 ? " phone: " : " phones: ") +
                        std::to_string(passed) + " passed, " + std::to_string(phones - passed) +
                        " failed");
}

}  // namespace

int moreSerious(int a, int b) {
    auto rank = [](int code) {
        switch (code) {
            case EXIT_OK:
                return 0;
            case EXIT_TIMEOUT:
                return 1;
            case EXIT_PHONE_FAILED:
                return 2;
            case EXIT_USAGE:
                return 3;
            case EXIT_PORT_OR_FILE:
                return 4;
            case EXIT_INTERRUPTED:
                return 6;
            default:
                return 5;  // EXIT_UNAVAILABLE and anything unforeseen
        }
    };
    return rank(b) > rank(a) ? b : a;
}

std::string perPortPath(const std::string& path, const std::string& portName) {
    std::string tag = portName;
    if (const auto slash = tag.rfind('/'); slash != std::string::npos)
        tag = tag.substr(slash + 1);
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot names a hidden file, not an extension.
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    if (!hasExtension)
        return path + "-" + tag;
    return path.substr(0, dot) + "-" + tag + path.substr(dot);
}

report::RunReport reportFrame(const Options& o, const std::vector<std::string>& arguments) {
    report::RunReport frame;
    frame.program = "zrk410";
    frame.version = report::programVersion();
    frame.command = commandName(o.command);
    frame.arguments = arguments;
    frame.started = std::chrono::system_clock::now();
    return frame;
}

}  // namespace zrk::cli

namespace zrk::cli {

int runSeveralPhones(const Options& o, const PhoneJob& base,
                     const std::vector<std::string>& arguments, TerminalOutput& output) {
    SeveralPhones run(o, output);
    std::string error;
    if (!run.addTargets(base, &error)) {
        output.diagnostic(error);
        return EXIT_USAGE;
    }
    return run.run(arguments);
}

int runOnePhoneWithReport(const Options& o, PhoneJob job, const std::vector<std::string>& arguments,
                          TerminalOutput& output) {
    report::RunReport report = reportFrame(o, arguments);
    std::string name = o.sim ? "COM1" : o.port;
    if (name.empty())
        name = PortMap::portName(job.choices.portIndex + 1);
    else if (const auto number = PortMap::parsePortName(name))
        name = PortMap::portName(*number);
    PhoneRecorder recorder(name, job.choices, job.answers.sectors, report::imagesFor(job.choices));
    job.observer = &recorder;
    recorder.beginPhone(false);
    output.clearLastDiagnostic();
    int result = runPhoneJob(job, output);
    recorder.endPhone(result, output.lastDiagnostic());
    report.ports.push_back(recorder.record());
    report.ended = std::chrono::system_clock::now();
    report.exitCode = result;
    std::string error;
    if (!report::writeReport(report, o.reportPath, &error)) {
        output.diagnostic("cannot write the report " + o.reportPath + ": " + error);
        if (result == EXIT_OK)
            result = EXIT_PORT_OR_FILE;
    }
    return result;
}

}  // namespace zrk::cli

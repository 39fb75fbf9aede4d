#include "cli/ReportedRun.h"

#include "cli/ExitCodes.h"
#include "cli/ExitRanking.h"
#include "cli/TerminalOutput.h"
#include "report/ReportJson.h"
#include "serial/PortMap.h"

namespace zrk::cli {

report::RunReport reportFrame(const Options& o, const std::vector<std::string>& arguments) {
    report::RunReport frame;
    frame.program = "zrk410";
    frame.version = report::programVersion();
    frame.command = commandName(o.command);
    frame.arguments = arguments;
    frame.started = std::chrono::system_clock::now();
    return frame;
}

int runOnePhoneWithReport(const Options& o, PhoneJob job, const std::vector<std::string>& arguments,
                          TerminalOutput& output) {
    report::RunReport report = reportFrame(o, arguments);
    std::string name = o.sim ? "COM1" : o.port;
    if (name.empty())
        name = PortMap::portName(job.choices.portIndex + 1);
    else if (const auto number = PortMap::parsePortName(name))
        name = PortMap::portName(*number);
    station::PhoneRecorder recorder(name, job.choices, job.answers.sectors,
                                    report::imagesFor(job.choices));
    job.observer = &recorder;
    recorder.beginPhone(false);
    output.clearLastDiagnostic();
    int result = runPhoneJob(job, output);
    recorder.endPhone(phoneEnding(result, output.lastDiagnostic()));
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

#include "cli/Doctor.h"

#include <algorithm>

#include "cli/ExitCodes.h"
#include "cli/StoredSettings.h"
#include "engine/SafeText.h"
#include "serial/PortDoctor.h"
#include "serial/PortMap.h"

namespace zrk::cli {

namespace {

struct Target {
    std::string label;   // "COM3" or the path given
    std::string device;  // what it stands for
    std::string origin;  // how the COM name came to stand for it; empty for a path
};

std::string firstProblem(const PortDiagnosis& d) {
    const auto problem = std::find_if(d.findings.begin(), d.findings.end(), [](const Finding& f) {
        return f.kind == Finding::Kind::Problem;
    });
    return problem == d.findings.end() ? "" : problem->text;
}

}  // namespace

int runDoctor(const Options& o, TerminalOutput& output) {
    if (o.sim) {
        output.diagnostic("doctor looks at the serial ports; --sim brings none to look at");
        return EXIT_USAGE;
    }
    const StoredSettings stored = readStoredSettings();
    PortMap ports = portMapOf(stored);
    auto comTarget = [&ports](int n) {
        return Target{PortMap::portName(n), ports.device(n),
                      !ports.adapter(n).empty() ? "bound to the USB adapter " + ports.adapter(n)
                      : ports.isOverridden(n)   ? "set in the window"
                                                : "the default"};
    };

    std::vector<Target> targets;
    std::size_t judged = 0;  // the target the exit status speaks for
    if (o.port.empty()) {
        for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n)
            targets.push_back(comTarget(n));
        judged = static_cast<std::size_t>(stored.portIndex);
    } else if (const auto number = PortMap::parsePortName(o.port)) {
        targets.push_back(comTarget(*number));
    } else if (o.port.find('/') != std::string::npos) {
        targets.push_back({o.port, o.port, ""});
    } else {
        output.diagnostic("--port: '" + o.port +
                          "' is neither COM1..COM20 nor a device path such as /dev/ttyUSB0");
        return EXIT_USAGE;
    }

    const DoctorSetting setting = DoctorSetting::forThisUser();
    std::optional<PortDiagnosis> verdict;
    bool anyMissing = false;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target& t = targets[i];
        const PortDiagnosis d = diagnosePort(t.device, setting);
        anyMissing = anyMissing || !d.exists;
        if (i == judged)
            verdict = d;
        const std::string prefix = t.label + ": ";
        const std::string stands =
            t.origin.empty() ? "" : "stands for " + t.device + " (" + t.origin + ")";
        if (!d.exists && !stands.empty()) {
            // One line for each of the many names without a device.
            output.line(prefix + stands + "; " + d.findings.front().text);
            continue;
        }
        if (!stands.empty())
            output.line(prefix + stands);
        for (const Finding& f : d.findings)
            output.line(prefix + f.text);
    }
    if (anyMissing) {
        output.line(presentSerialDevices(setting).text);
        // With the names that stand for them, for the --port that reaches one.
        for (const std::string& line : presentPortLines(ports, listSerialDevices()))
            output.line("  " + printableName(line));
    }
    for (const Finding& f : diagnoseServices(setting, verdict->usb))
        output.line(f.text);

    const Target& t = targets[judged];
    std::string subject = t.label == t.device ? t.label : t.label + " (" + t.device + ")";
    if (targets.size() > 1)
        subject = "the stored port " + subject + ", which commands use without --port,";
    if (verdict->usable) {
        output.line(subject + " can be used");
        return EXIT_OK;
    }
    output.line(subject + " cannot be used: " + firstProblem(*verdict));
    return EXIT_PORT_OR_FILE;
}

}  // namespace zrk::cli

#include "cli/PortsCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/CommandLine.h"
#include "cli/ExitCodes.h"
#include "cli/StoredSettings.h"
#include "cli/TerminalOutput.h"
#include "engine/SafeText.h"
#include "serial/PortDoctor.h"

namespace zrk::cli {

namespace {

constexpr const char* kAuto = "auto";

std::string accessText(const SerialDevice& d) {
    if (d.mayOpen)
        return "you may open it";
    const std::string advice = accessAdvice(d.path);
    return advice.empty() ? "you may not open it" : "you may not open it: " + advice;
}

PortMap storedPorts() {
    return portMapOf(readStoredSettings());
}

}  // namespace

CLI::App* addPortsCommand(CLI::App& app) {
    return app.add_subcommand(
        commandWord(Command::Ports),
        "list the serial devices present: the COM name that stands for each (a USB adapter "
        "seen for the first time gets the first free one, as in the window), who made it, "
        "its serial number and USB socket, and whether you may open it; no phone needed");
}

std::vector<std::string> portsListing(const PortMap& ports,
                                      const std::vector<SerialDevice>& present) {
    std::vector<std::string> lines;
    std::string terminals;
    for (const SerialDevice& d : present) {
        if (d.kind == SerialKind::PseudoTerminal) {
            terminals += (terminals.empty() ? "" : ", ") + printableName(d.path);
            continue;
        }
        const auto name = ports.nameOf(d.path);
        std::string line =
            (name ? printableName(nameAndDevice(*name, d.path)) : "-  " + printableName(d.path)) +
            "  " + identityText(d);
        if (d.usb && !d.usb->usbPath.empty())
            line += "  (USB " + printableName(d.usb->usbPath) + ")";
        lines.push_back(line + "  " + accessText(d));
    }
    if (lines.empty())
        lines.push_back(std::string("no serial device is present: plug in the cable (") +
                        adapterAppearance() + ")");
    if (!terminals.empty())
        lines.push_back(
            "pseudo-terminals (terminal windows, the phone simulator; give one with "
            "--port PATH): " +
            terminals);
    return lines;
}

int runPorts(const Options& o, TerminalOutput& output) {
    if (o.sim) {
        output.diagnostic("ports lists the serial devices; --sim brings its own");
        return EXIT_USAGE;
    }
    PortMap ports = storedPorts();
    const std::vector<SerialDevice> present = listSerialDevices();
    for (int n : ports.nameNewAdapters(present)) {
        std::string whyNot;
        if (storePortBinding(n, ports.device(n), ports.adapter(n), &whyNot))
            output.line(PortMap::portName(n) + " now stands for " + printableName(ports.device(n)) +
                        ", in the window too");
        else
            output.diagnostic(PortMap::portName(n) + " stands for " +
                              printableName(ports.device(n)) +
                              " in this run only: the settings could not be stored (" +
                              printableName(whyNot) + ")");
    }
    for (const std::string& line : portsListing(ports, present))
        output.line(line);
    if (!usbAdapters(present).empty())
        output.line(
            "give a port with --port COMn (or its path); --port auto takes the one USB "
            "adapter present");
    return EXIT_OK;
}

std::string autoPortDevice(const PortMap& ports, const std::vector<SerialDevice>& present,
                           std::string* problem) {
    const std::vector<SerialDevice> adapters = usbAdapters(present);
    if (adapters.size() == 1)
        return adapters.front().path;
    std::string text = adapters.empty() ? "--port auto: no USB serial adapter is present"
                                        : "--port auto: " + std::to_string(adapters.size()) +
                                              " USB serial adapters are present; give one "
                                              "with --port COMn or its path:";
    for (const SerialDevice& d : adapters)
        text += "\n  " + printableName(portLine(ports, d));
    if (adapters.empty()) {
        const std::vector<std::string> others = presentPortLines(ports, present);
        text += others.empty() ? "; plug in the cable" : "; the serial devices present:";
        for (const std::string& line : others)
            text += "\n  " + printableName(line);
    }
    *problem = text;
    return {};
}

int resolveAutoPorts(Options& o, TerminalOutput& output) {
    const bool wanted = std::find(o.portList.begin(), o.portList.end(), kAuto) != o.portList.end();
    if (!wanted || o.sim)
        return 0;
    std::string problem;
    const std::string device = autoPortDevice(storedPorts(), listSerialDevices(), &problem);
    if (device.empty()) {
        // A line each: the output keeps line breaks out of a complaint.
        for (std::size_t start = 0; start <= problem.size();) {
            const std::size_t end = std::min(problem.find('\n', start), problem.size());
            output.diagnostic(problem.substr(start, end - start));
            start = end + 1;
        }
        return EXIT_USAGE;
    }
    for (std::string& port : o.portList)
        if (port == kAuto)
            port = device;
    if (o.port == kAuto)
        o.port = device;
    return 0;
}

std::vector<std::string> missingDeviceHelp() {
    const std::vector<std::string> lines = presentPortLines(storedPorts(), listSerialDevices());
    if (lines.empty())
        return {"no serial device is present: plug in the cable, then zrk410 ports lists it"};
    std::vector<std::string> help{"the serial devices present:"};
    for (const std::string& line : lines)
        help.push_back("  " + printableName(line));
    help.push_back(
        "give one with --port COMn or its path (--port auto takes the one USB "
        "adapter); zrk410 ports lists them");
    return help;
}

}  // namespace zrk::cli

#pragma once
// zrk410 ports: the serial devices present, each with the COM name that stands for it, who
// made it and whether this user may open it; and --port auto, which takes the one USB adapter
// present. No phone is needed and nothing is opened.
#include <string>
#include <vector>

#include "serial/PortMap.h"
#include "serial/SerialDevices.h"

namespace CLI {
class App;
}

namespace zrk::cli {

struct Options;
class TerminalOutput;

CLI::App* addPortsCommand(CLI::App& app);

// A line a device, the pseudo-terminals together on the last one; a line that says so when
// nothing is present.
std::vector<std::string> portsListing(const PortMap& ports,
                                      const std::vector<SerialDevice>& present);
// Names the adapters that have no name yet (kept in the window's settings), then lists.
int runPorts(const Options& o, TerminalOutput& output);

// The path of the one USB adapter present; empty, with why and what is present in
// *problem, when there is none or more than one.
std::string autoPortDevice(const PortMap& ports, const std::vector<SerialDevice>& present,
                           std::string* problem);
// Every --port auto becomes that adapter's path; EXIT_USAGE, said on output, when there is
// not exactly one. 0 otherwise.
int resolveAutoPorts(Options& o, TerminalOutput& output);

// After a port whose device is missing: what is present, by the names the stored settings
// give it, and how to give one.
std::vector<std::string> missingDeviceHelp();

}  // namespace zrk::cli

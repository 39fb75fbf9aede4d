#pragma once
// One phone's link as both front ends set it up: a phone simulator behind COM1 when asked for,
// the port over a port map, and the hex trace of every byte. Members end in the reverse order
// of their start: the port closes before the trace and the simulator behind it go.
#include <string>
#include <vector>

#include "serial/ByteTrace.h"
#include "serial/CommPort.h"
#include "serial/PortMap.h"
#include "serial/SimulatorProcess.h"

namespace zrk {

class LinkSetup {
  public:
    explicit LinkSetup(PortMap& ports) : m_Ports(ports), m_Port(ports) {}
    ~LinkSetup();
    LinkSetup(const LinkSetup&) = delete;
    LinkSetup& operator=(const LinkSetup&) = delete;

    // Starts zrk410-phonesim with these options; COM1 of the map then stands for its terminal.
    // False with the reason when it cannot start.
    bool startSimulator(const std::vector<std::string>& args, std::string* error,
                        bool quiet = false);
    bool simulating() const { return m_Sim.running(); }
    const std::string& simulatorDevice() const { return m_Sim.devicePath(); }
    // Closes the port, ends the simulator and returns its status: 1 when it recorded protocol
    // violations, 0 when not, -1 when none ran.
    int stopSimulator();

    // Starts (a path) or ends (empty) the trace; false when the file cannot be written. Only
    // while the port is closed: the watcher writes to the trace.
    bool setTrace(const std::string& path);
    // Why the trace lost text (errno), or 0; kept after the trace is ended.
    int traceWriteError() const { return m_Trace.writeError(); }

    CommPort& port() { return m_Port; }
    PortMap& ports() { return m_Ports; }

  private:
    SimulatorProcess m_Sim;
    PortMap& m_Ports;
    HexTraceFile m_Trace;
    CommPort m_Port;
};

}  // namespace zrk

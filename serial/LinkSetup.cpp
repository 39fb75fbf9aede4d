#include "serial/LinkSetup.h"

namespace zrk {

LinkSetup::~LinkSetup() {
    m_Port.close();
    m_Port.setTrace(nullptr);
}

bool LinkSetup::startSimulator(const std::vector<std::string>& args, std::string* error,
                               bool quiet) {
    const std::string exe = SimulatorProcess::locate();
    if (exe.empty()) {
        if (error)
            *error = "zrk410-phonesim was not found";
        return false;
    }
    if (!m_Sim.start(exe, args, error, quiet))
        return false;
    m_Ports.setDevice(1, m_Sim.devicePath());
    return true;
}

int LinkSetup::stopSimulator() {
    m_Port.close();
    return m_Sim.running() ? m_Sim.stop() : -1;
}

bool LinkSetup::setTrace(const std::string& path) {
    m_Port.setTrace(nullptr);
    m_Trace.close();
    if (path.empty())
        return true;
    if (!m_Trace.open(path))
        return false;
    m_Port.setTrace(&m_Trace);
    return true;
}

}  // namespace zrk

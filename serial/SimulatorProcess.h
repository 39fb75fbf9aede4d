#pragma once
// Starts the phone simulator (zrk410-phonesim) as a child process and hands out the terminal
// it serves, so that the window and the command line can run against it exactly as against a
// cable. The child never outlives this object.
#include <sys/types.h>

#include <string>
#include <vector>

namespace zrk {

class SimulatorProcess {
  public:
    SimulatorProcess() = default;
    ~SimulatorProcess() { stop(); }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Runs exe with args and waits (up to 10 s) for the terminal path on its first line of
    // output. With quiet, the simulator's own report on stderr is discarded.
    bool start(const std::string& exe, const std::vector<std::string>& args, std::string* error,
               bool quiet = false);
    bool running() const { return m_Pid > 0; }
    const std::string& devicePath() const { return m_DevicePath; }
    // Ends the simulator (SIGTERM, then SIGKILL after 5 s) and returns its exit status:
    // 0 when it saw nothing wrong, 1 when it recorded protocol violations; -1 when it was not
    // running or died of a signal.
    int stop();

    // The simulator executable: $ZRK_PHONESIM, else next to this program's build
    // (<bin>/../sim/zrk410-phonesim or <bin>/zrk410-phonesim), else zrk410-phonesim on PATH.
    static std::string locate();

  private:
    pid_t m_Pid = -1;
    int m_Output = -1;
    std::string m_DevicePath;
};

}  // namespace zrk

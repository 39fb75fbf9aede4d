#pragma once
// zrk410 as its own process, timed from outside: wall time, the CPU it used (its own, not the
// simulator's, which runs in another process) and its peak resident memory.
#include <string>
#include <vector>

namespace zrk::bench {

struct HostRun {
    int exitCode = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakResidentMb = 0;
    std::string errorText;  // stderr, for a run that failed
};

HostRun runHost(const std::string& exe, const std::vector<std::string>& args);

// A folder for the run's files, removed with its contents at the end.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string file(const std::string& name) const { return m_Path + "/" + name; }

  private:
    std::string m_Path;
};

// size bytes of reproducible noise, so that nothing along the way gains from repetition.
void writeNoiseFile(const std::string& path, std::size_t size);

}  // namespace zrk::bench

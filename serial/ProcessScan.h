#pragma once
// Which processes have a device open, and which programs are running, read from /proc.
#include <sys/types.h>

#include <string>
#include <vector>

namespace zrk {

struct ProcessInfo {
    pid_t pid = 0;
    std::string name;  // /proc/PID/comm
};

struct HolderScan {
    std::vector<ProcessInfo> holders;
    // Some processes' descriptors could not be read (another user's, without root).
    bool incomplete = false;
};

// The other processes with a descriptor on device (compared after resolving links).
HolderScan processesHolding(const std::string& device, const std::string& procRoot = "/proc");

// The running processes whose name is one of names.
std::vector<ProcessInfo> processesNamed(const std::vector<std::string>& names,
                                        const std::string& procRoot = "/proc");

}  // namespace zrk

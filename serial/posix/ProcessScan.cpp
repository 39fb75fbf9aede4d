#include "serial/ProcessScan.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zrk {

namespace fs = std::filesystem;

namespace {

std::vector<pid_t> processIds(const std::string& procRoot) {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (fs::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && std::all_of(name.begin(), name.end(),
                                         [](unsigned char c) { return std::isdigit(c) != 0; }))
            pids.push_back(static_cast<pid_t>(std::atol(name.c_str())));
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::string processName(const std::string& procRoot, pid_t pid) {
    std::ifstream in(procRoot + "/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

}  // namespace

HolderScan processesHolding(const std::string& device, const std::string& procRoot) {
    HolderScan scan;
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(device, ec);
    const std::string wanted = ec ? device : target.string();
    for (const pid_t pid : processIds(procRoot)) {
        // Our own descriptors (a terminal on stdin, say) are no obstacle to our own open.
        if (pid == ::getpid())
            continue;
        const fs::path fdDir = fs::path(procRoot) / std::to_string(pid) / "fd";
        fs::directory_iterator it(fdDir, ec);
        if (ec) {
            // Gone meanwhile is fine; not ours to look at means the answer may be partial.
            if (ec == std::errc::permission_denied)
                scan.incomplete = true;
            continue;
        }
        for (fs::directory_iterator end; it != end; it.increment(ec)) {
            if (ec)
                break;
            std::error_code linkError;
            const fs::path points = fs::read_symlink(it->path(), linkError);
            if (!linkError && points == wanted) {
                scan.holders.push_back({pid, processName(procRoot, pid)});
                break;
            }
        }
    }
    return scan;
}

std::vector<ProcessInfo> processesNamed(const std::vector<std::string>& names,
                                        const std::string& procRoot) {
    std::vector<ProcessInfo> found;
    for (const pid_t pid : processIds(procRoot)) {
        const std::string name = processName(procRoot, pid);
        if (std::find(names.begin(), names.end(), name) != names.end())
            found.push_back({pid, name});
    }
    return found;
}

}  // namespace zrk

#include "bench/HostRun.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace zrk::bench {

HostRun runHost(const std::string& exe, const std::vector<std::string>& args) {
    char errName[] = "/tmp/zrk410-bench-err-XXXXXX";
    const int errFd = ::mkstemp(errName);
    if (errFd < 0)
        throw std::runtime_error("no temporary file");
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(errFd, 2);
        std::vector<std::string> all{exe};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    HostRun run;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakResidentMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::ifstream err(errName);
    std::ostringstream text;
    text << err.rdbuf();
    run.errorText = text.str();
    ::close(errFd);
    ::unlink(errName);
    return run;
}

ScratchFolder::ScratchFolder() {
    char name[] = "/tmp/zrk410-bench-XXXXXX";
    if (!::mkdtemp(name))
        throw std::runtime_error("no temporary folder");
    m_Path = name;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_Path, ignored);
}

void writeNoiseFile(const std::string& path, std::size_t size) {
    std::mt19937_64 noise(0x5EED);
    std::vector<std::uint64_t> words((size + 7) / 8);
    for (auto& w : words)
        w = noise();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(size));
}

}  // namespace zrk::bench

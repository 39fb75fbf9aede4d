#include "serial/SimulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace zrk {

namespace {
bool isExecutable(const std::filesystem::path& p) {
    return !p.empty() && ::access(p.c_str(), X_OK) == 0 && !std::filesystem::is_directory(p);
}
}  // namespace

std::string SimulatorProcess::locate() {
    if (const char* env = std::getenv("ZRK_PHONESIM"); env && *env)
        return env;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto dir = self.parent_path();
        for (const auto& candidate :
             {dir.parent_path() / "sim" / "zrk410-phonesim", dir / "zrk410-phonesim"}) {
            if (isExecutable(candidate))
                return candidate.string();
        }
    }
    if (const char* path = std::getenv("PATH")) {
        std::string all = path;
        std::size_t start = 0;
        while (start <= all.size()) {
            const std::size_t end = std::min(all.find(':', start), all.size());
            const auto candidate =
                std::filesystem::path(all.substr(start, end - start)) / "zrk410-phonesim";
            if (isExecutable(candidate))
                return candidate.string();
            start = end + 1;
        }
    }
    return "";
}

bool SimulatorProcess::start(const std::string& exe, const std::vector<std::string>& args,
                             std::string* error, bool quiet) {
    stop();
    auto failWith = [&](const std::string& why) {
        if (error)
            *error = why;
        stop();
        return false;
    };
    if (exe.empty() || !isExecutable(exe))
        return failWith("the phone simulator was not found (" +
                        (exe.empty() ? "zrk410-phonesim" : exe) +
                        "); build it or set ZRK_PHONESIM");
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return failWith("cannot create a pipe");

    std::vector<std::string> argvStore{exe};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return failWith("cannot start the phone simulator");
    }
    if (pid == 0) {
        // The simulator goes when we go, even if we die without cleaning up.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        // Its own process group: Ctrl-C on our terminal is ours to handle (we close the link
        // cleanly and then end the simulator), not a hang-up of the phone mid-exchange.
        ::setpgid(0, 0);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        if (quiet) {
            const int devNull = ::open("/dev/null", O_WRONLY);
            if (devNull >= 0)
                ::dup2(devNull, STDERR_FILENO);
        }
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_Pid = pid;
    m_Output = pipeFds[0];

    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return failWith("the phone simulator did not report its terminal");
        pollfd p{m_Output, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(m_Output, buf, sizeof buf);
        if (n <= 0)
            return failWith("the phone simulator ended before it was ready");
        line.append(buf, static_cast<std::size_t>(n));
    }
    m_DevicePath = line.substr(0, line.find('\n'));
    if (!m_DevicePath.empty() && m_DevicePath.back() == '\r')
        m_DevicePath.pop_back();
    if (m_DevicePath.empty())
        return failWith("the phone simulator reported no terminal");
    return true;
}

int SimulatorProcess::stop() {
    int result = -1;
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        pid_t done = 0;
        while ((done = ::waitpid(m_Pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (done == 0) {
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, &status, 0);
        } else if (done > 0 && WIFEXITED(status)) {
            result = WEXITSTATUS(status);
        }
        m_Pid = -1;
    }
    if (m_Output >= 0)
        ::close(m_Output);
    m_Output = -1;
    m_DevicePath.clear();
    return result;
}

}  // namespace zrk

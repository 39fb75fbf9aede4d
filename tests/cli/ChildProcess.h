#pragma once
// Runs zrk410 (or the simulator) as a child, its output in files, with deadlines on every wait,
// so that a test sees exit codes, stdout and stderr exactly as a script would.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zrk::test {

class ChildProcess {
  public:
    // A fresh folder per child for its output files and, as HOME, for settings it might read.
    ChildProcess(const std::string& exe, const std::vector<std::string>& args,
                 const std::vector<std::string>& env = {}) {
        static int serial = 0;
        m_Folder = std::filesystem::temp_directory_path() /
                   ("zrk410-child-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        std::filesystem::create_directories(m_Folder);
        const auto outPath = (m_Folder / "stdout").string();
        const auto errPath = (m_Folder / "stderr").string();
        const auto home = m_Folder.string();
        m_Pid = ::fork();
        if (m_Pid == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            for (const auto& e : env)
                ::putenv(const_cast<char*>(e.c_str()));
            std::vector<std::string> all{exe};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& a : all)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, nullptr, 0);
        }
        std::error_code ec;
        std::filesystem::remove_all(m_Folder, ec);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    std::string out() const { return read(m_Folder / "stdout"); }
    std::string err() const { return read(m_Folder / "stderr"); }
    const std::filesystem::path& folder() const { return m_Folder; }

    bool waitForOutput(const std::string& text,
                       std::chrono::seconds limit = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (out().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void signal(int sig) { ::kill(m_Pid, sig); }

    // The exit code, or -1 when the child did not end in time (it is then killed) or died of
    // a signal.
    int wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(m_Pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_Pid, SIGKILL);
                ::waitpid(m_Pid, &status, 0);
                m_Pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    static std::string read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    pid_t m_Pid = -1;
    std::filesystem::path m_Folder;
};

}  // namespace zrk::test

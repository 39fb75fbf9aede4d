#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "PhoneDriver.h"
#include "PtyHost.h"

extern char** environ;

namespace zrk::sim::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// zrk410-phonesim as a child with its stdout and stderr on pipes.
class Child {
  public:
    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), ZRK_PHONESIM_PATH);
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_Out = out[0];
        m_Err = err[0];
    }
    ~Child() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, nullptr, 0);
        }
        ::close(m_Out);
        ::close(m_Err);
    }
    std::string firstLine() {
        std::string line;
        char c;
        while (::read(m_Out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    std::string rest(int fd) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }
    // Waits for the exit (SIGKILL after the deadline, which fails the status check).
    int wait(std::string* err = nullptr, std::string* out = nullptr) {
        const auto end = std::chrono::steady_clock::now() + 60s;
        int status = 0;
        while (::waitpid(m_Pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(m_Pid, SIGKILL);
                ::waitpid(m_Pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(5ms);
        }
        m_Pid = -1;
        if (out)
            *out = rest(m_Out);
        if (err)
            *err = rest(m_Err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void signal(int sig) { ::kill(m_Pid, sig); }

  private:
    pid_t m_Pid = -1;
    int m_Out = -1, m_Err = -1;
};

TEST(PhonesimExecutable, FirstLineLinkRunsAndStateOut) {
    const fs::path dir = fs::temp_directory_path() / ("zrk-exe-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Child child({"--link", (dir / "phone").string(), "--runs", "1", "--state-out",
                 (dir / "state").string(), "--transcript", (dir / "t.txt").string()});
    const std::string path = child.firstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(fs::read_symlink(dir / "phone").string(), path);
    {
        PtyHost host;
        ASSERT_TRUE(host.open((dir / "phone").string(), B115200));
        ASSERT_TRUE(host.waitFor(0x81));
        ASSERT_TRUE(host.write({0x44}));
        ASSERT_TRUE(host.waitFor(0x44));
    }  // the host closes: one session ended
    std::string err;
    EXPECT_EQ(child.wait(&err), 0) << err;
    EXPECT_NE(err.find("no protocol violation"), std::string::npos) << err;
    EXPECT_EQ(fs::file_size(dir / "state" / "nor.bin"), 32u * 1024 * 1024);
    EXPECT_TRUE(fs::is_directory(dir / "state" / "nand"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "phone"))) << "the link goes with the phone";
    fs::remove_all(dir);
}

// --link replaces only a link it could have made itself, one to a pseudo-terminal: a file,
// a folder or someone else's link at PATH stays as it is and the simulator says why it will
// not start.
TEST(PhonesimExecutable, TheLinkNeverReplacesWhatItDidNotMake) {
    const fs::path dir = fs::temp_directory_path() / ("zrk-link-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "file") << "precious\n";
    fs::create_symlink(dir / "file", dir / "foreign");
    for (const char* name : {"file", "folder", "foreign"}) {
        std::string err;
        EXPECT_EQ(Child({"--link", (dir / name).string()}).wait(&err), 2) << name;
        EXPECT_NE(err.find((dir / name).string()), std::string::npos) << err;
        EXPECT_NE(err.find("not a link to a pseudo-terminal"), std::string::npos) << err;
    }
    std::ifstream kept(dir / "file");
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "precious");
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(dir / "folder")));
    EXPECT_EQ(fs::read_symlink(dir / "foreign"), dir / "file");

    // A link an earlier run left behind points to a terminal that is gone or reused: replaced.
    fs::create_symlink("/dev/pts/999999", dir / "stale");
    Child child({"--link", (dir / "stale").string()});
    const std::string path = child.firstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(fs::read_symlink(dir / "stale").string(), path);
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "stale")));
    fs::remove_all(dir);
}

TEST(PhonesimExecutable, ViolationMakesExitStatusOne) {
    Child child({"--runs", "1"});
    const std::string path = child.firstLine();
    PtyHost host;
    ASSERT_TRUE(host.open(path, B115200));
    ASSERT_TRUE(host.waitFor(0x81));
    ASSERT_TRUE(host.write({0x99}));
    host.close();
    std::string err;
    EXPECT_EQ(child.wait(&err), 1) << err;
    EXPECT_NE(err.find("unexpected byte 0x99"), std::string::npos) << err;
}

TEST(PhonesimExecutable, TerminationSignalEndsAQuietRun) {
    Child child({});
    EXPECT_FALSE(child.firstLine().empty());
    child.signal(SIGTERM);
    std::string err;
    EXPECT_EQ(child.wait(&err), 0) << err;
}

TEST(PhonesimExecutable, EndsWithItsParentWhenAsked) {
    const fs::path dir = fs::temp_directory_path() / ("zrk-orphan-" + std::to_string(::getpid()));
    const fs::path printed = dir.string() + ".out";
    const fs::path pidFile = dir.string() + ".pid";
    // The shell starts the simulator in the background and ends once it has printed its path
    // (by then it has asked to end with its parent): a shell that ended sooner, on a busy
    // machine, would leave it an orphan from the start, which is not what is tested here.
    const std::string command =
        std::string("sh -c '\"") + ZRK_PHONESIM_PATH + "\" --exit-with-parent --state-out \"" +
        dir.string() + "\" >\"" + printed.string() + "\" 2>/dev/null & echo $! >\"" +
        pidFile.string() + "\"; while ! [ -s \"" + printed.string() + "\" ]; do sleep 0.05; done'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (!fs::exists(dir / "nand") && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(fs::exists(dir / "nand")) << "the orphan wrote its state and ended";
    if (!fs::exists(dir / "nand")) {
        std::ifstream pid(pidFile);
        long orphan = 0;
        if (pid >> orphan && orphan > 0)
            ::kill(static_cast<pid_t>(orphan), SIGKILL);
    }
    fs::remove_all(dir);
    fs::remove(printed);
    fs::remove(pidFile);
}

TEST(PhonesimExecutable, UsageErrorsAndHelp) {
    std::string err, out;
    EXPECT_EQ(Child({"--no-such-option"}).wait(&err), 2);
    EXPECT_EQ(Child({"--flash-id", "00EC"}).wait(&err), 2);
    EXPECT_NE(err.find("16 hex digits"), std::string::npos) << err;
    EXPECT_EQ(Child({"--preload", "/nonexistent/dir"}).wait(&err), 2);
    EXPECT_EQ(Child({"--help"}).wait(&err, &out), 0);
    for (const char* option : {"--link", "--runs", "--state-out", "--preload", "--transcript",
                               "--pace", "--latency", "--hang-up-after", "--refuse-nand-dump"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace zrk::sim::test

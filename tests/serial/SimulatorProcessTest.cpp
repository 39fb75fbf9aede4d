#include "serial/SimulatorProcess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace zrk {
namespace {

// A stand-in executable that behaves like the simulator at its edges.
std::string writeScript(const std::string& name, const std::string& body) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
    return path.string();
}

TEST(SimulatorProcess, ReadsTheTerminalAndReportsTheExitStatus) {
    const auto exe = writeScript("zrk-fake-sim-ok",
                                 "trap 'exit 1' TERM\necho /dev/pts/fake\n"
                                 "while true; do sleep 0.05; done\n");
    SimulatorProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(exe, {"--seed", "1"}, &error)) << error;
    EXPECT_EQ(sim.devicePath(), "/dev/pts/fake");
    EXPECT_EQ(sim.stop(), 1);  // the stand-in says "violations" on SIGTERM
    EXPECT_FALSE(sim.running());
    std::filesystem::remove(exe);
}

TEST(SimulatorProcess, ExplainsASimulatorThatDiesOrIsMissing) {
    const auto exe = writeScript("zrk-fake-sim-dies", "exit 3\n");
    SimulatorProcess sim;
    std::string error;
    EXPECT_FALSE(sim.start(exe, {}, &error));
    EXPECT_NE(error.find("ended before it was ready"), std::string::npos);
    EXPECT_FALSE(sim.start("/nonexistent/zrk410-phonesim", {}, &error));
    EXPECT_NE(error.find("not found"), std::string::npos);
    std::filesystem::remove(exe);
}

}  // namespace
}  // namespace zrk

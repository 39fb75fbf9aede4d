// zrk410 doctor as a script runs it: one finding a line, prefixed with the port, a verdict at
// the end, and the exit status saying whether the port can be used.
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"
#include "serial/PseudoTerminal.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;

TEST(DoctorRun, APseudoTerminalCanBeUsed) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    ChildProcess child(ZRK410_EXE, {"doctor", "--port", pty.slavePath()});
    ASSERT_EQ(child.wait(), EXIT_OK) << child.out() << child.err();
    const std::string out = child.out();
    const std::string prefix = pty.slavePath() + ": ";
    EXPECT_NE(out.find(prefix + "owner "), std::string::npos) << out;
    EXPECT_NE(out.find(prefix + "it opens as a serial line\n"), std::string::npos) << out;
    EXPECT_NE(out.find("ModemManager"), std::string::npos) << out;
    EXPECT_NE(out.find("\n" + pty.slavePath() + " can be used\n"), std::string::npos) << out;
}

TEST(DoctorRun, AMissingDeviceIsAPortProblemAndTheDevicesPresentAreListed) {
    ChildProcess child(ZRK410_EXE, {"--quiet", "doctor", "--port", "/dev/ttyUSB97"});
    ASSERT_EQ(child.wait(), EXIT_PORT_OR_FILE) << child.out() << child.err();
    const std::string out = child.out();
    EXPECT_NE(out.find("/dev/ttyUSB97: it does not exist"), std::string::npos) << out;
    EXPECT_TRUE(out.find("serial devices present:") != std::string::npos ||
                out.find("no serial device is present") != std::string::npos)
        << out;
    EXPECT_NE(out.find("/dev/ttyUSB97 cannot be used: it does not exist"), std::string::npos)
        << out;
}

TEST(DoctorRun, EveryComNameIsLookedAtAndTheStoredOneJudged) {
    ChildProcess child(ZRK410_EXE, {"doctor"});
    const int status = child.wait();
    const std::string out = child.out();
    for (const char* name : {"COM1: stands for /dev/ttyS0 (the default)",
                             "COM20: stands for /dev/ttyS19 (the default)"})
        EXPECT_NE(out.find(name), std::string::npos) << out;
    // With no settings the stored port is COM1; whether this machine has it decides.
    const bool usable = out.find(
                            "the stored port COM1 (/dev/ttyS0), which commands use "
                            "without --port, can be used") != std::string::npos;
    EXPECT_EQ(status, usable ? EXIT_OK : EXIT_PORT_OR_FILE) << out;
}

TEST(DoctorRun, BadPortsAndTheSimulatorAreRefused) {
    ChildProcess bad(ZRK410_EXE, {"doctor", "--port", "COM21"});
    EXPECT_EQ(bad.wait(), EXIT_USAGE);
    EXPECT_NE(bad.err().find("neither COM1..COM20 nor a device path"), std::string::npos)
        << bad.err();
    ChildProcess sim(ZRK410_EXE, {"--sim", "doctor"});
    EXPECT_EQ(sim.wait(), EXIT_USAGE);
    EXPECT_NE(sim.err().find("--sim brings none"), std::string::npos) << sim.err();
}

}  // namespace
}  // namespace zrk::cli

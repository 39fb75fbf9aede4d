// zrk410 as a script sees it, where no phone answers: the exit class of each way a command can
// end before or without the phone, and the link closed cleanly on a time-out and on Ctrl-C.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <tuple>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"
#include "serial/PseudoTerminal.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;

std::string tempFile(const std::string& name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

TEST(LinkEnds, ClassesWithoutAPhone) {
    {
        ChildProcess c(ZRK410_EXE, {"erase", "--sectors", "0-600"});
        EXPECT_EQ(c.wait(), EXIT_USAGE);
        EXPECT_NE(c.err().find("sector 600 does not exist"), std::string::npos) << c.err();
    }
    {
        ChildProcess c(ZRK410_EXE, {"download", "--bin", "/nonexistent/fw.bin"});
        EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE);
        EXPECT_NE(c.err().find("cannot read /nonexistent/fw.bin"), std::string::npos);
    }
    {
        // Refused at once, before the port: the CRC would read /dev/zero for ever, or wait
        // for a FIFO's writer, and an empty image would erase sector 0 and succeed.
        const auto empty = tempFile("zrk410-empty.bin");
        std::ofstream(empty).close();
        const auto fifo = tempFile("zrk410-image.fifo");
        std::filesystem::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        for (const auto& [path, why] :
             {std::pair<std::string, std::string>{"/dev/zero", "is not a regular file"},
              {fifo, "is not a regular file"},
              {empty, "is empty"}}) {
            ChildProcess c(ZRK410_EXE,
                           {"--port", "/nonexistent/ttyUSB9", "download", "--bin", path});
            EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE) << path;
            EXPECT_NE(c.err().find(path + " " + why + "; nothing was sent"), std::string::npos)
                << c.err();
        }
        std::filesystem::remove(fifo);
        std::filesystem::remove(empty);
    }
    {
        // One byte more than the flash holds from the second sector on.
        const auto path = tempFile("zrk410-too-big.bin");
        std::ofstream(path).close();
        std::filesystem::resize_file(path, 32 * 1024 * 1024 - 65536 + 1);
        ChildProcess c(ZRK410_EXE, {"download", "--bin", path, "--start-addr", "10010000"});
        EXPECT_EQ(c.wait(), EXIT_USAGE);
        EXPECT_NE(c.err().find("does not fit the flash from 10010000"), std::string::npos);
        std::filesystem::remove(path);
    }
    {
        ChildProcess c(ZRK410_EXE, {"dump", "--sectors", "0", "--out", "/nonexistent/d.hex"});
        EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE);
        EXPECT_NE(c.err().find("cannot write /nonexistent/d.hex"), std::string::npos);
    }
    {
        // A folder as the output is refused before the phone is brought up.
        const auto folder = tempFile("zrk410-out-folder");
        std::filesystem::create_directories(folder);
        ChildProcess c(ZRK410_EXE, {"--port", "/nonexistent/ttyUSB9", "dump", "--sectors", "0",
                                    "--out", folder});
        EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE);
        EXPECT_NE(c.err().find("cannot write " + folder + ": it is a folder"), std::string::npos)
            << c.err();
        std::filesystem::remove(folder);
    }
    {
        // Given but empty is not the default address.
        ChildProcess c(ZRK410_EXE,
                       {"download", "--bin", "/nonexistent/fw.bin", "--start-addr", ""});
        EXPECT_EQ(c.wait(), EXIT_USAGE);
        EXPECT_NE(c.err().find("an empty address"), std::string::npos) << c.err();
    }
    {
        // crc of something that never ends, or never starts.
        ChildProcess c(ZRK410_EXE, {"crc", "/dev/zero"});
        EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE);
        EXPECT_NE(c.err().find("/dev/zero is not a regular file"), std::string::npos) << c.err();
    }
    {
        ChildProcess c(ZRK410_EXE, {"--port", "/nonexistent/ttyUSB9", "identify"});
        EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE);
        EXPECT_NE(c.err().find("/nonexistent/ttyUSB9"), std::string::npos) << c.err();
    }
    {
        ChildProcess c(ZRK410_EXE, {"--port", "COM99", "identify"});
        EXPECT_EQ(c.wait(), EXIT_USAGE);
    }
    {
        ChildProcess c(ZRK410_EXE, {"--port", "COM2", "--sim", "identify"});
        EXPECT_EQ(c.wait(), EXIT_USAGE);
    }
    {
        // Not on a terminal, a format without --yes is refused before the phone is touched.
        ChildProcess c(ZRK410_EXE, {"format"});
        EXPECT_EQ(c.wait(), EXIT_USAGE);
        EXPECT_NE(c.err().find("--yes"), std::string::npos);
    }
    {
        ChildProcess c(ZRK410_EXE, {"--codepage", "NO-SUCH-PAGE", "status"});
        EXPECT_EQ(c.wait(), EXIT_USAGE);
        EXPECT_NE(c.err().find("NO-SUCH-PAGE"), std::string::npos);
    }
    {
        const auto path = tempFile("zrk410-crc-test.bin");
        std::ofstream(path) << "123456789";
        ChildProcess c(ZRK410_EXE, {"crc", path});
        EXPECT_EQ(c.wait(), EXIT_OK);
        EXPECT_EQ(c.out(), "0xcbf43926  9 bytes\n");
        std::filesystem::remove(path);
    }
}

TEST(LinkEnds, ASilentPhoneTimesOutAndTheLinkIsClosed) {
    PseudoTerminal nobody;  // a cable with no phone on it
    ASSERT_TRUE(nobody.open());
    ChildProcess c(ZRK410_EXE, {"--port", nobody.slavePath(), "--timeout", "1", "identify"});
    EXPECT_EQ(c.wait(), EXIT_TIMEOUT);
    EXPECT_NE(c.out().find("** (POWER ON the PHONE!)\n"), std::string::npos) << c.out();
    EXPECT_NE(c.out().find("** Close COM port\n"), std::string::npos) << c.out();
    EXPECT_NE(c.err().find("the phone sent nothing for 1 s; is it cabled and switched on?"),
              std::string::npos)
        << c.err();
}

TEST(LinkEnds, ADeviceThatTalksButNeverAnswersTimesOutAndIsCalledNoPhone) {
    const std::vector<std::string> env = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};
    const std::tuple<const char*, const char*, const char*> runs[] = {
        {"nmea", "identify",
         "COM1 is sending text that is not the phone's boot ROM; is this the right port?"},
        {"zeros", "status", "COM1 is sending bytes that are not the phone's boot ROM"}};
    for (const auto& [kind, command, words] : runs) {
        ChildProcess c(ZRK410_EXE, {std::string("--sim=babble=") + kind, "--timeout", "2", command},
                       env);
        // Babbling for ever, the device would hold the wait open to the end of this limit.
        EXPECT_EQ(c.wait(std::chrono::seconds(60)), EXIT_TIMEOUT) << kind << c.out() << c.err();
        EXPECT_NE(c.err().find(words), std::string::npos) << c.err();
        EXPECT_EQ(c.err().find("sent nothing"), std::string::npos) << c.err();
        EXPECT_NE(c.out().find("** Close COM port\n"), std::string::npos) << c.out();
    }
}

TEST(LinkEnds, CtrlCATerminationOrAHangUpEndsTheWaitAndClosesTheLink) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        PseudoTerminal nobody;
        ASSERT_TRUE(nobody.open());
        ChildProcess c(ZRK410_EXE, {"--port", nobody.slavePath(), "--timeout", "0", "identify"});
        ASSERT_TRUE(c.waitForOutput("POWER ON the PHONE!")) << c.out() << c.err();
        c.signal(signal);
        EXPECT_EQ(c.wait(), EXIT_INTERRUPTED) << signal;
        EXPECT_NE(c.out().find("** Close COM port\n"), std::string::npos) << c.out();
        EXPECT_NE(c.err().find("interrupted"), std::string::npos) << signal;
    }
}

}  // namespace
}  // namespace zrk::cli

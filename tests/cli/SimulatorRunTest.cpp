// zrk410 against the phone simulator, as a production script runs it: each command's success,
// the phone's wrong replies and a pulled cable with their exit classes, and a trace that holds
// exactly the bytes the phone received.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};
// What the host sends at 115200 up to and with the speed byte: the handshake, the pre-loader
// and its start.
constexpr int kBytesUpToTheSpeedByte = 2707;

std::vector<std::uint8_t> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes of every block in one direction of a hex trace ("  0.123456 >> 0000  44 51 ...").
std::vector<std::uint8_t> tracedBytes(const std::string& trace, const std::string& arrow) {
    std::vector<std::uint8_t> bytes;
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string time, direction, offset, word;
        if (!(words >> time >> direction >> offset) || direction != arrow)
            continue;
        while (words >> word && word.size() == 2 && word[0] != '|')
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

class SimulatorRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-simrun-" + std::to_string(::getpid()));
        fs::create_directories(m_Folder);
    }
    void TearDown() override { fs::remove_all(m_Folder); }
    fs::path path(const std::string& name) const { return m_Folder / name; }

    fs::path m_Folder;
};

TEST_F(SimulatorRun, IdentifyReportsTheFlash) {
    ChildProcess c(ZRK410_EXE, {"--sim", "identify"}, kEnv);
    ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
    EXPECT_NE(c.out().find("** (POWER ON the PHONE!)\n"), std::string::npos);
    EXPECT_NE(c.out().find("Detected (LMR20TQ55P)\n"), std::string::npos) << c.out();
    EXPECT_NE(c.out().find("\nFlash: LMR20TQ55P (32 MB NOR, 519 sectors)\n"), std::string::npos);
    EXPECT_NE(c.out().find("** Close COM port\n"), std::string::npos);
}

TEST_F(SimulatorRun, TheSimulatorsLinkNeverReplacesAFile) {
    std::ofstream(path("mine")) << "mine\n";
    ChildProcess c(ZRK410_EXE, {"--sim=link=" + path("mine").string(), "identify"}, kEnv);
    EXPECT_NE(c.wait(), EXIT_OK) << c.out() << c.err();
    EXPECT_NE(c.err().find("not a link to a pseudo-terminal"), std::string::npos) << c.err();
    std::ifstream kept(path("mine"));
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "mine");
}

TEST_F(SimulatorRun, QuietStatusPrintsTheRecordAndNothingElse) {
    ChildProcess c(ZRK410_EXE, {"--sim", "-q", "status"}, kEnv);
    ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
    EXPECT_EQ(c.out().rfind("1. FileSystem Type( f_type ) : ", 0), 0u) << c.out();
    EXPECT_NE(c.out().find("\n11. maximum length of filenames( f_namelen ) : "), std::string::npos)
        << c.out();
    EXPECT_EQ(c.out().find('\r'), std::string::npos);
    EXPECT_EQ(c.out().find("POWER ON"), std::string::npos);
}

TEST_F(SimulatorRun, AFileSystemImageGivenAsFirmwareIsRefusedUnlessForced) {
    const std::string qix = ZRK_EXAMPLES_DIR "/filesystem.qix";
    ChildProcess refused(ZRK410_EXE, {"--sim", "-q", "download", "--bin", qix}, kEnv);
    EXPECT_EQ(refused.wait(), EXIT_USAGE) << refused.out() << refused.err();
    EXPECT_NE(refused.err().find("is a file-system image (.qix), not a firmware image"),
              std::string::npos)
        << refused.err();
    EXPECT_NE(refused.err().find("--force"), std::string::npos);

    ChildProcess forced(ZRK410_EXE, {"--sim", "-q", "download", "--force", "--bin", qix}, kEnv);
    EXPECT_EQ(forced.wait(), EXIT_OK) << forced.out() << forced.err();
}

TEST_F(SimulatorRun, DownloadWritesTheImageAndTheTraceHoldsWhatThePhoneReceived) {
    // Two and a bit 64 KB sectors, from the second sector on.
    std::vector<std::uint8_t> image(2 * 65536 + 1000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const auto imagePath = path("fw.bin");
    std::ofstream(imagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    const auto trace = path("trace.txt");
    const auto transcript = path("transcript.txt");
    const auto state = path("state");
    const auto log = path("run.log");

    ChildProcess c(ZRK410_EXE,
                   {"--sim=transcript=" + transcript.string() + ",state-out=" + state.string(),
                    "--speed", "921600", "--trace", trace.string(), "--log", log.string(),
                    "download", "--bin", imagePath.string(), "--start-addr", "10010000"},
                   kEnv);
    ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
    EXPECT_NE(c.out().find("Download completed!\n"), std::string::npos);
    EXPECT_NE(c.out().find("** (Total 132072 bytes) **\n"), std::string::npos) << c.out();
    EXPECT_EQ(c.out().find('\r'), std::string::npos);  // terminal line ends only

    const auto nor = readBytes(state / "nor.bin");
    ASSERT_GE(nor.size(), 65536 + image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), nor.begin() + 65536));

    std::ifstream traceIn(trace), transcriptIn(transcript);
    std::stringstream ours, theirs;
    ours << traceIn.rdbuf();
    theirs << transcriptIn.rdbuf();
    const auto sent = tracedBytes(ours.str(), ">>");
    EXPECT_GT(sent.size(), image.size() + 317792);  // boot-loader and image at least
    EXPECT_EQ(sent, tracedBytes(theirs.str(), ">>"));
    // Back from the phone, what it sent before the port was opened (and while it was closed
    // for the baud switch) never reached us; after the switch the two agree.
    const auto received = tracedBytes(ours.str(), "<<");
    const auto replied = tracedBytes(theirs.str(), "<<");
    ASSERT_GT(received.size(), 400u);
    ASSERT_GE(replied.size(), received.size());
    EXPECT_TRUE(std::equal(received.end() - 400, received.end(), replied.end() - 400));

    // The log file holds what the terminal showed.
    std::ifstream logIn(log);
    std::stringstream logText;
    logText << logIn.rdbuf();
    EXPECT_EQ(logText.str(), c.out());
}

TEST_F(SimulatorRun, EraseAndDumpTheChosenSectors) {
    {
        ChildProcess c(ZRK410_EXE, {"--sim", "erase", "--sectors", "0-1,518"}, kEnv);
        ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
        EXPECT_NE(c.out().find("Erasing sector (0x10010000)... OK!\n"), std::string::npos);
        EXPECT_NE(c.out().find("Erasing sector (0x11FFE000)... OK!\n"), std::string::npos);
        EXPECT_NE(c.out().find("Erasing Completed!\n"), std::string::npos);
    }
    {
        const auto out = path("dump.hex");
        ChildProcess c(ZRK410_EXE, {"--sim", "dump", "--sectors", "2,518", "--out", out.string()},
                       kEnv);
        ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
        EXPECT_NE(c.out().find("** (Total 72 KBytes) **\n"), std::string::npos) << c.out();
        EXPECT_NE(c.out().find("Dump Completed!\n"), std::string::npos);
        const auto bytes = readBytes(out);
        EXPECT_EQ(bytes.size(), 65536u + 8192u);
        // A fresh phone's flash is erased.
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0xFF; }));
    }
}

TEST_F(SimulatorRun, WrongRepliesEndWithExitFour) {
    {
        ChildProcess c(ZRK410_EXE, {"--sim=wrong-flash-id", "identify"}, kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        EXPECT_NE(c.out().find("Unknown Flash!\n"), std::string::npos);
        EXPECT_EQ(c.out().find("\nFlash: "), std::string::npos);
        EXPECT_NE(c.err().find("replied wrongly (Unknown Flash!)"), std::string::npos) << c.err();
    }
    {
        // A failure that only the log tells of still reaches the closing complaint.
        const auto image = path("fw.bin");
        std::ofstream(image, std::ios::binary) << std::string(70000, 'x');
        ChildProcess c(ZRK410_EXE,
                       {"--quiet", "--sim=bad-sector-sum=0", "download", "--bin", image.string()},
                       kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        EXPECT_NE(c.err().find("the download failed: the phone replied wrongly (Fail to "
                               "download sector!)"),
                  std::string::npos)
            << c.err();
    }
    {
        ChildProcess c(ZRK410_EXE, {"--sim=bad-erase-reply=1", "erase", "--sectors", "0-3"}, kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        EXPECT_NE(c.out().find("Fail to erase sector!\n"), std::string::npos);
        EXPECT_EQ(c.out().find("Erasing Completed!"), std::string::npos);
        EXPECT_NE(c.err().find("the erase failed"), std::string::npos) << c.err();
    }
}

TEST_F(SimulatorRun, APulledCableIsAPortProblem) {
    // The phone goes away in the middle of the boot-loader upload.
    ChildProcess c(ZRK410_EXE, {"--sim=hang-up-after=20000", "--timeout", "20", "identify"}, kEnv);
    EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE) << c.out() << c.err();
    EXPECT_NE(c.err().find("the connection to the phone was lost"), std::string::npos) << c.err();
    EXPECT_NE(c.out().find("** Close COM port\n"), std::string::npos);
}

// The reopen after the hang-up goes to a freed terminal number; see tests/CMakeLists.txt.
class SimulatorRunAlone : public SimulatorRun {};

TEST_F(SimulatorRunAlone, AHangUpRightAfterTheSpeedByteIsALostLinkEvenWithoutATimeout) {
    // The phone hangs up once it has the speed byte: the reopen at the new speed finds no
    // device, and no time-out would end the wait.
    ChildProcess c(ZRK410_EXE,
                   {"--sim=hang-up-after=" + std::to_string(kBytesUpToTheSpeedByte), "--timeout",
                    "0", "identify"},
                   kEnv);
    EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE) << c.out() << c.err();
    EXPECT_NE(c.out().find("Trying to change the baudrate...\n"), std::string::npos) << c.out();
    EXPECT_NE(c.err().find("the connection to the phone was lost"), std::string::npos) << c.err();
}

TEST_F(SimulatorRun, LostTraceOrLogTextIsAFileProblemEvenWhenThePhoneSucceeded) {
    {
        ChildProcess c(ZRK410_EXE, {"--sim", "--trace", "/dev/full", "identify"}, kEnv);
        EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE) << c.out() << c.err();
        EXPECT_NE(c.out().find("Flash: "), std::string::npos);
        EXPECT_NE(c.err().find("the trace file /dev/full could not be written completely"),
                  std::string::npos)
            << c.err();
    }
    {
        // Through a shell, so that stdout itself is the full disk.
        ChildProcess c("/bin/sh", {"-c", "exec \"$0\" --sim identify >/dev/full", ZRK410_EXE},
                       kEnv);
        EXPECT_EQ(c.wait(), EXIT_PORT_OR_FILE) << c.err();
        EXPECT_NE(c.err().find("the log could not be written to standard output"),
                  std::string::npos)
            << c.err();
    }
}

}  // namespace
}  // namespace zrk::cli

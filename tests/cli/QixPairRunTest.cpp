// A .qix/.cfg pair that a download cannot send as it is listed: refused by every command that
// reads it, with the line at fault, and before the phone is touched. "--port" naming no
// device shows the last: a refusal checked after the port would be a port error instead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};
const std::string kNoPort = "/nonexistent/ttyUSB9";

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class QixPairRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-qixpair-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(m_Folder / "phone" / "nand");
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    std::string path(const std::string& name) const { return (m_Folder / name).string(); }
    void pair(const std::string& cfg, const std::string& image) {
        std::ofstream(path("fs.cfg"), std::ios::binary) << cfg;
        std::ofstream(path("fs.qix"), std::ios::binary) << image;
    }
    // Every command that reads the pair, and its exit and words.
    void expectEveryCommandRefuses(const std::string& words, int exitCode = EXIT_USAGE,
                                   const std::vector<std::string>& env = kEnv) {
        for (const std::string command : {"download", "verify"}) {
            ChildProcess c(ZRK410_EXE, {"--port", kNoPort, command, "--qix", path("fs.qix")}, env);
            EXPECT_EQ(c.wait(), exitCode) << command << c.out() << c.err();
            EXPECT_TRUE(has(c.out() + c.err(), words)) << command << c.out() << c.err();
        }
        for (const std::string command : {"list", "extract"}) {
            std::vector<std::string> args = {"qix", command, path("fs.qix")};
            if (command == "extract")
                args.push_back(path("out"));
            ChildProcess c(ZRK410_EXE, args, env);
            EXPECT_EQ(c.wait(), exitCode) << command << c.out() << c.err();
            EXPECT_TRUE(has(c.out() + c.err(), words)) << command << c.out() << c.err();
            EXPECT_FALSE(fs::exists(path("out")));
        }
    }

    fs::path m_Folder;
};

TEST_F(QixPairRun, AUnixCfgIsRefusedWithItsLineAndNothingReachesThePhone) {
    // Read by substring search, its one name would be "/b\nFILE_SIZE : 3\n", 0 bytes long.
    pair("QIXVERSION : V1\nFILE_NAME : /b\nFILE_SIZE : 3\n", "abc");
    expectEveryCommandRefuses("fs.cfg, line 1: ");

    const std::string state = path("phone");
    ChildProcess sim(ZRK410_EXE,
                     {"--sim=preload=" + state + ",state-out=" + state, "--quiet", "download",
                      "--qix", path("fs.qix")},
                     kEnv);
    EXPECT_EQ(sim.wait(), EXIT_USAGE) << sim.out() << sim.err();
    EXPECT_FALSE(has(sim.out() + sim.err(), "completed")) << sim.out() << sim.err();
    EXPECT_TRUE(fs::is_empty(m_Folder / "phone" / "nand"));
}

TEST_F(QixPairRun, ANameThatWouldForgeALogLineIsRefusedAndNotPrintedRaw) {
    pair("QIXVERSION : V1\r\nFILE_NAME : /a\n** Download completed! **\r\nFILE_SIZE : 0\r\n", "");
    expectEveryCommandRefuses("fs.cfg, line 2: ");
    ChildProcess list(ZRK410_EXE, {"qix", "list", path("fs.qix")}, kEnv);
    list.wait();
    EXPECT_FALSE(has(list.out() + list.err(), "\n** Download completed! **")) << list.out();
}

TEST_F(QixPairRun, TreesQixCreateNeverMakesAreRefused) {
    const std::string head = "QIXVERSION : V1              \r\n";
    const struct {
        std::string entries;
        std::string words;
    } cases[] = {
        {"FILE_NAME : /b\r\nFILE_SIZE : 1\r\nFILE_NAME : //./b\r\nFILE_SIZE : 1\r\n",
         "fs.cfg, line 4: the file \"//./b\" is /b, already listed on line 2"},
        {"FILE_NAME : /b \r\nFILE_SIZE : 1\r\nFILE_NAME : /b\r\nFILE_SIZE : 1\r\n",
         "fs.cfg, line 4: the file \"/b\" is already listed on line 2"},
        {"DIR_NAME : /b\r\nFILE_NAME : /b\r\nFILE_SIZE : 2\r\n",
         "fs.cfg, line 3: the file \"/b\" is also listed as a folder on line 2"},
        {"FILE_NAME : /a/../b\r\nFILE_SIZE : 2\r\n", "fs.cfg, line 2: "},
        {"FILE_NAME : /" + std::string(255, 'n') + "\r\nFILE_SIZE : 2\r\n",
         "the phone lists names of at most 254"},
    };
    for (const auto& c : cases) {
        pair(head + c.entries, "xy");
        expectEveryCommandRefuses(c.words);
    }
}

TEST_F(QixPairRun, ADamagedPairOrAnUnknownLocaleCodePageIsRefusedBeforeThePort) {
    pair("QIXVERSION : V1\r\nFILE_NAME : /a\r\nFILE_SIZE : 2\r\n", "abc");
    expectEveryCommandRefuses("QIX file size mismatched!!!");
    pair("FILE_NAME : /a\r\nFILE_SIZE : 3\r\n", "abc");
    expectEveryCommandRefuses("QIXVERSION not found in cfg file");

    pair("QIXVERSION : V1\r\nFILE_NAME : /a\r\nFILE_SIZE : 3\r\n", "abc");
    std::vector<std::string> env = kEnv;
    env.push_back("LC_ALL=de_DE.NOSUCHCODESET");
    for (const std::string command : {"download", "verify"}) {
        ChildProcess c(ZRK410_EXE, {"--port", kNoPort, command, "--qix", path("fs.qix")}, env);
        EXPECT_EQ(c.wait(), EXIT_USAGE) << command << c.out() << c.err();
        EXPECT_TRUE(has(c.err(), "NOSUCHCODESET")) << c.err();
        EXPECT_TRUE(has(c.err(), "--codepage")) << c.err();
    }
    // A firmware alone needs no code page.
    std::ofstream(path("fw.bin"), std::ios::binary) << "firmware";
    ChildProcess bin(ZRK410_EXE, {"--port", kNoPort, "download", "--bin", path("fw.bin")}, env);
    EXPECT_EQ(bin.wait(), EXIT_PORT_OR_FILE) << bin.err();
}

}  // namespace
}  // namespace zrk::cli

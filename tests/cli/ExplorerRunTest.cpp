// zrk410's fs commands against the phone simulator with a prepared NAND tree: what they print,
// the files they write, what is left on the phone, and the exit classes of the phone's refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};

std::vector<char> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ExplorerRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-fsrun-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(nand() / "docs" / "old");
        fs::create_directories(nand() / ".hidden");
        write(nand() / "top.txt", std::string("top\n"));
        std::string big(20000, '\0');
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>(i * 31 + 7);
        write(nand() / "docs" / "big.bin", big);
        write(nand() / "docs" / "empty.txt", std::string());
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    fs::path nand() const { return m_Folder / "phone" / "nand"; }
    fs::path path(const std::string& name) const { return m_Folder / name; }
    static void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    // Runs zrk410 against a simulator that starts with the tree and keeps what it ends with.
    ChildProcess run(std::vector<std::string> args, const std::string& simExtra = {}) {
        const std::string state = (m_Folder / "phone").string();
        std::vector<std::string> all = {"--sim=preload=" + state + ",state-out=" + state + simExtra,
                                        "--quiet"};
        all.insert(all.end(), args.begin(), args.end());
        return ChildProcess(ZRK410_EXE, all, kEnv);
    }

    fs::path m_Folder;
};

TEST_F(ExplorerRun, ListsPrintOneNameALineWithDirectoriesMarked) {
    ChildProcess root = run({"fs", "ls"});
    ASSERT_EQ(root.wait(), EXIT_OK) << root.out() << root.err();
    EXPECT_EQ(root.out(), "docs/\ntop.txt\n");

    ChildProcess docs = run({"fs", "ls", "/docs/"});
    ASSERT_EQ(docs.wait(), EXIT_OK) << docs.out() << docs.err();
    EXPECT_EQ(docs.out(), "big.bin\nempty.txt\nold/\n");

    ChildProcess missing = run({"fs", "ls", "/nothing"});
    EXPECT_EQ(missing.wait(), EXIT_PHONE_FAILED) << missing.out() << missing.err();
}

TEST_F(ExplorerRun, GetWritesTheFileAndRmRemovesIt) {
    ChildProcess get = run({"fs", "get", "/docs/big.bin", "--out", path("big.out").string()});
    ASSERT_EQ(get.wait(), EXIT_OK) << get.out() << get.err();
    EXPECT_EQ(readBytes(path("big.out")), readBytes(nand() / "docs" / "big.bin"));
    EXPECT_FALSE(fs::exists(path("big.out.part")));

    ChildProcess empty = run({"fs", "get", "/docs/empty.txt", "--out", path("e.out").string()});
    ASSERT_EQ(empty.wait(), EXIT_OK) << empty.out() << empty.err();
    EXPECT_EQ(fs::file_size(path("e.out")), 0u);

    ChildProcess refused = run({"fs", "get", "/nothing", "--out", path("n.out").string()});
    EXPECT_EQ(refused.wait(), EXIT_PHONE_FAILED);
    EXPECT_FALSE(fs::exists(path("n.out")));

    ChildProcess rm = run({"fs", "rm", "/top.txt"});
    ASSERT_EQ(rm.wait(), EXIT_OK) << rm.out() << rm.err();
    EXPECT_FALSE(fs::exists(nand() / "top.txt"));
    EXPECT_TRUE(fs::exists(nand() / "docs" / "big.bin"));
}

TEST_F(ExplorerRun, StatPrintsTheReport) {
    ChildProcess stat = run({"fs", "stat", "/docs/big.bin"});
    ASSERT_EQ(stat.wait(), EXIT_OK) << stat.out() << stat.err();
    EXPECT_EQ(stat.out().rfind("*File mode : 0x81ff\n", 0), 0u) << stat.out();
    EXPECT_NE(stat.out().find("\n*File size : 20000 byte\n"), std::string::npos);
}

TEST_F(ExplorerRun, NandDumpWritesEveryPageAndARefusalIsExitFour) {
    ChildProcess dump = run({"fs", "nand-dump", "--pages", "6", "--out", path("nand.hex").string()},
                            ",nand-pages=6");
    ASSERT_EQ(dump.wait(), EXIT_OK) << dump.out() << dump.err();
    EXPECT_EQ(fs::file_size(path("nand.hex")), 6u * 2048);

    ChildProcess refused =
        run({"fs", "nand-dump", "--out", path("no.hex").string()}, ",refuse-nand-dump");
    EXPECT_EQ(refused.wait(), EXIT_PHONE_FAILED);
    EXPECT_FALSE(fs::exists(path("no.hex")));
    EXPECT_FALSE(fs::exists(path("no.hex.part")));
}

}  // namespace
}  // namespace zrk::cli

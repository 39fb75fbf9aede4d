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
    ChildProcess run(std::vector<std::string> args, const std::string& simExtra = {},
                     bool quiet = true) {
        const std::string state = (m_Folder / "phone").string();
        std::vector<std::string> all = {"--sim=preload=" + state + ",state-out=" + state +
                                        simExtra};
        if (quiet)
            all.push_back("--quiet");
        all.insert(all.end(), args.begin(), args.end());
        return ChildProcess(ZRK410_EXE, all, kEnv);
    }
    // As run, with the log on stdout.
    ChildProcess runLogged(std::vector<std::string> args, const std::string& simExtra = {}) {
        return run(std::move(args), simExtra, false);
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
    EXPECT_EQ(missing.wait(), EXIT_NOT_ON_PHONE) << missing.out() << missing.err();
    EXPECT_NE(missing.err().find("no such folder on the phone: /nothing"), std::string::npos)
        << missing.err();
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
    EXPECT_EQ(refused.wait(), EXIT_NOT_ON_PHONE);
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

TEST_F(ExplorerRun, ANameThePhoneDoesNotHoldIsSaidSoAndLeavesNothing) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"fs", "get", "/nope.txt", "--out", path("nope.out").string()},
             {"fs", "stat", "/nope.txt"},
             {"fs", "rm", "/nope.txt"}}) {
        ChildProcess c = run(args);
        EXPECT_EQ(c.wait(), EXIT_NOT_ON_PHONE) << args[1] << c.out() << c.err();
        EXPECT_NE(c.err().find("no such file on the phone: /nope.txt"), std::string::npos)
            << c.err();
        EXPECT_EQ(c.err().find("replied wrongly"), std::string::npos) << c.err();
    }
    EXPECT_FALSE(fs::exists(path("nope.out")));

    ChildProcess pull = run({"fs", "pull", "/nope", path("pn").string()});
    EXPECT_EQ(pull.wait(), EXIT_NOT_ON_PHONE) << pull.out() << pull.err();
    EXPECT_NE(pull.err().find("no such folder on the phone: /nope"), std::string::npos)
        << pull.err();
    EXPECT_EQ(pull.err().find("the listing failed"), std::string::npos) << pull.err();
    EXPECT_FALSE(fs::exists(path("pn")));

    // Any other refusal is still the phone's fault.
    ChildProcess refused =
        run({"fs", "get", "/docs/big.bin", "--out", path("r.out").string()}, ",refuse-readout");
    const int code = refused.wait();
    EXPECT_EQ(code, EXIT_PHONE_FAILED) << refused.err();
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

TEST_F(ExplorerRun, RmListsTheFilesOwnDirectoryAgainAndTrustsOnlyThat) {
    write(nand() / "docs" / "old" / "a.txt", "a");
    ChildProcess rm = runLogged({"fs", "rm", "/docs/old/a.txt"});
    ASSERT_EQ(rm.wait(), EXIT_OK) << rm.out() << rm.err();
    EXPECT_NE(rm.out().find("Searching the files (in '/docs/old')... "), std::string::npos)
        << rm.out();
    EXPECT_FALSE(fs::exists(nand() / "docs" / "old" / "a.txt"));

    // The phone says EEh, yet its own listing still holds the file.
    ChildProcess kept = run({"fs", "rm", "/docs/big.bin"}, ",keep-deleted");
    EXPECT_EQ(kept.wait(), EXIT_PHONE_FAILED) << kept.out() << kept.err();
    EXPECT_NE(kept.err().find("it was not deleted"), std::string::npos) << kept.err();
    EXPECT_TRUE(fs::exists(nand() / "docs" / "big.bin"));
}

TEST_F(ExplorerRun, AnUnmountThePhoneDoesNotConfirmFailsTheCommandAfterItsResult) {
    // A wrong reply: the delete itself went through, and is said first.
    ChildProcess wrong = run({"fs", "rm", "/top.txt"}, ",unmount-fault=wrong");
    EXPECT_EQ(wrong.wait(), EXIT_PHONE_FAILED) << wrong.out() << wrong.err();
    EXPECT_FALSE(fs::exists(nand() / "top.txt"));
    EXPECT_NE(wrong.err().find("the unmount failed: the unmount answered with 0x22"),
              std::string::npos)
        << wrong.err();

    // No reply: a time-out, with the file still written.
    ChildProcess silent =
        run({"--timeout", "2", "fs", "get", "/docs/big.bin", "--out", path("big.out").string()},
            ",unmount-fault=silent");
    EXPECT_EQ(silent.wait(), EXIT_TIMEOUT) << silent.out() << silent.err();
    EXPECT_EQ(readBytes(path("big.out")), readBytes(nand() / "docs" / "big.bin"));
    EXPECT_NE(silent.err().find("did not answer the unmount"), std::string::npos) << silent.err();

    // The line closed instead of a reply.
    ChildProcess cut =
        run({"fs", "pull", "/docs", path("pulled").string()}, ",unmount-fault=hang-up");
    EXPECT_EQ(cut.wait(), EXIT_PORT_OR_FILE) << cut.out() << cut.err();
    EXPECT_TRUE(fs::exists(path("pulled") / "big.bin"));
    EXPECT_NE(cut.err().find("lost during the unmount"), std::string::npos) << cut.err();
}

TEST_F(ExplorerRun, AListingThatNeverEndsFailsAtItsBound) {
    ChildProcess ls = run({"fs", "ls"}, ",endless-listing");
    EXPECT_EQ(ls.wait(std::chrono::seconds(280)), EXIT_PHONE_FAILED) << ls.out() << ls.err();
    EXPECT_EQ(ls.out(), "");
    EXPECT_NE(ls.err().find("did not end after 100001 entries"), std::string::npos) << ls.err();
}

TEST_F(ExplorerRun, ASilentPhoneEndsTheCommandAfterOneTimeoutNotTwo) {
    constexpr int kTimeout = 6;
    // The second of the three blocks never comes; the unmount must not wait another time-out.
    ChildProcess get = runLogged({"--timeout", std::to_string(kTimeout), "fs", "get",
                                  "/docs/big.bin", "--out", path("big.out").string()},
                                 ",silent-readout-block=1");
    ASSERT_TRUE(get.waitForOutput("** Dumping QIX File **")) << get.out() << get.err();
    const auto blockWait = std::chrono::steady_clock::now();
    EXPECT_EQ(get.wait(), EXIT_TIMEOUT) << get.out() << get.err();
    EXPECT_LT(std::chrono::steady_clock::now() - blockWait, std::chrono::seconds(kTimeout * 5 / 3));
    EXPECT_FALSE(fs::exists(path("big.out")));

    // The same at the end of a listing.
    ChildProcess ls =
        runLogged({"--timeout", std::to_string(kTimeout), "fs", "ls"}, ",silent-list-end");
    ASSERT_TRUE(ls.waitForOutput("top.txt")) << ls.out() << ls.err();
    const auto endWait = std::chrono::steady_clock::now();
    EXPECT_EQ(ls.wait(), EXIT_TIMEOUT) << ls.out() << ls.err();
    EXPECT_LT(std::chrono::steady_clock::now() - endWait, std::chrono::seconds(kTimeout * 5 / 3));
}

TEST_F(ExplorerRun, AReadOutSaysItIsCompleteOnce) {
    const auto times = [](const std::string& text) {
        std::size_t n = 0;
        for (auto at = text.find("Dump Completed!"); at != std::string::npos;
             at = text.find("Dump Completed!", at + 1))
            ++n;
        return n;
    };
    ChildProcess logged = runLogged({"fs", "get", "/top.txt", "--out", path("a.out").string()});
    ASSERT_EQ(logged.wait(), EXIT_OK) << logged.out() << logged.err();
    EXPECT_EQ(times(logged.out()), 1u) << logged.out();
    // Without the log the message is the one word of it.
    ChildProcess quiet = run({"fs", "get", "/top.txt", "--out", path("b.out").string()});
    ASSERT_EQ(quiet.wait(), EXIT_OK) << quiet.out() << quiet.err();
    EXPECT_EQ(times(quiet.out()), 1u) << quiet.out();
}

}  // namespace
}  // namespace zrk::cli

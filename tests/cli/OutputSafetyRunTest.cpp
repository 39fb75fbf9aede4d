// What zrk410 writes when the folder it writes into was prepared by someone else: links planted
// where its files go, names from the phone that clash or carry control characters, names as long
// as the phone allows, and outputs of one run that would share a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};
const std::string kVictimText = "the victim's own text\n";

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool isLink(const fs::path& p) {
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(p, error));
}

class OutputSafetyRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-safety-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(nand() / "sub");
        write(nand() / "a.txt", "phone a\n");
        write(nand() / "sub" / "b.txt", "phone b\n");
        write(victim(), kVictimText);
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    fs::path nand() const { return m_Folder / "phone" / "nand"; }
    fs::path path(const std::string& name) const { return m_Folder / name; }
    fs::path victim() const { return m_Folder / "victim"; }
    static void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    void plant(const std::string& name) const { fs::create_symlink(victim(), path(name)); }
    ChildProcess run(std::vector<std::string> args, const std::string& simExtra = {}) {
        const std::string state = (m_Folder / "phone").string();
        std::vector<std::string> all = {"--sim=preload=" + state + simExtra, "--quiet"};
        all.insert(all.end(), args.begin(), args.end());
        return ChildProcess(ZRK410_EXE, all, kEnv);
    }
    void expectVictimUntouched() const {
        EXPECT_EQ(readText(victim()), kVictimText);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(victim())));
    }

    fs::path m_Folder;
};

TEST_F(OutputSafetyRun, PlantedPartLinksAreNeverFollowedWhetherTheOperationWorksOrFails) {
    plant("got.bin.part");
    ChildProcess get = run({"fs", "get", "/a.txt", "--out", path("got.bin").string()});
    ASSERT_EQ(get.wait(), EXIT_OK) << get.out() << get.err();
    EXPECT_EQ(readText(path("got.bin")), "phone a\n");
    EXPECT_FALSE(isLink(path("got.bin")));

    plant("no.bin.part");
    ChildProcess refused = run({"fs", "get", "/nothing", "--out", path("no.bin").string()});
    EXPECT_EQ(refused.wait(), EXIT_NOT_ON_PHONE) << refused.out() << refused.err();

    plant("dump.bin.part");
    plant("run.json.part");
    ChildProcess dump = run({"--report", path("run.json").string(), "dump", "--sectors", "511",
                             "--out", path("dump.bin").string()});
    ASSERT_EQ(dump.wait(), EXIT_OK) << dump.out() << dump.err();
    EXPECT_EQ(fs::file_size(path("dump.bin")), 8192u);
    EXPECT_NE(readText(path("run.json")).find("\"command\""), std::string::npos);

    // A dump cut short by a bad block keeps its blocks under a name the log gives, not through
    // the planted link.
    plant("bad.bin.part");
    ChildProcess bad =
        run({"dump", "--sectors", "0", "--out", path("bad.bin").string()}, ",bad-dump-block=2");
    EXPECT_NE(bad.wait(), EXIT_OK);

    plant("nand.hex.part");
    ChildProcess nandDump = run(
        {"fs", "nand-dump", "--pages", "4", "--out", path("nand.hex").string()}, ",nand-pages=4");
    ASSERT_EQ(nandDump.wait(), EXIT_OK) << nandDump.out() << nandDump.err();
    EXPECT_EQ(fs::file_size(path("nand.hex")), 4u * 2048);

    plant("o.qix.part");
    plant("o.cfg.part");
    ChildProcess create = ChildProcess(
        ZRK410_EXE, {"qix", "create", nand().string(), "--out", path("o.qix").string()});
    ASSERT_EQ(create.wait(), EXIT_OK) << create.out() << create.err();
    EXPECT_FALSE(isLink(path("o.qix")));
    EXPECT_FALSE(isLink(path("o.cfg")));

    expectVictimUntouched();
    for (const char* name : {"got.bin.part", "no.bin.part", "dump.bin.part", "run.json.part",
                             "bad.bin.part", "nand.hex.part", "o.qix.part", "o.cfg.part"})
        EXPECT_TRUE(isLink(path(name))) << name;
}

TEST_F(OutputSafetyRun, AFolderCopyEntersNoLinkItDidNotMakeAndKeepsTwoNamesApart) {
    // The phone holds "x.part" and "x": once the temporary file of "x" took the other's place.
    write(nand() / "x.part", "the part file\n");
    write(nand() / "x", "the file\n");
    fs::create_directories(path("elsewhere"));
    fs::create_directories(path("out"));
    fs::create_directory_symlink(path("elsewhere"), path("out") / "sub");

    ChildProcess pull = run({"fs", "pull", "/", path("out").string()});
    EXPECT_EQ(pull.wait(), EXIT_PORT_OR_FILE) << pull.out() << pull.err();
    EXPECT_NE(pull.err().find("symbolic link"), std::string::npos) << pull.err();
    EXPECT_TRUE(fs::is_empty(path("elsewhere")));
    EXPECT_EQ(readText(path("out") / "x.part"), "the part file\n");
    EXPECT_EQ(readText(path("out") / "x"), "the file\n");
    EXPECT_EQ(readText(path("out") / "a.txt"), "phone a\n");

    ChildProcess backup = run({"fs", "backup", path("bk").string()});
    ASSERT_EQ(backup.wait(), EXIT_OK) << backup.out() << backup.err();
    EXPECT_EQ(readText(path("bk") / "x.part"), "the part file\n");
    EXPECT_EQ(readText(path("bk") / "x"), "the file\n");
    ChildProcess list = ChildProcess(ZRK410_EXE, {"qix", "list", path("bk.qix").string()});
    ASSERT_EQ(list.wait(), EXIT_OK) << list.out() << list.err();
    EXPECT_NE(list.out().find("/x.part"), std::string::npos) << list.out();
    EXPECT_NE(list.out().find("/x\n"), std::string::npos) << list.out();

    ChildProcess extract =
        ChildProcess(ZRK410_EXE, {"qix", "extract", path("bk.qix").string(), path("ex").string()});
    ASSERT_EQ(extract.wait(), EXIT_OK) << extract.out() << extract.err();
    EXPECT_EQ(readText(path("ex") / "x.part"), "the part file\n");
    EXPECT_EQ(readText(path("ex") / "x"), "the file\n");
}

TEST_F(OutputSafetyRun, NamesAsLongAsThePhoneAllowsAreReadOut) {
    const std::string longest(254, 'L');
    write(nand() / longest, "long\n");
    ChildProcess get = run({"fs", "get", "/" + longest, "--out", path(longest).string()});
    ASSERT_EQ(get.wait(), EXIT_OK) << get.out() << get.err();
    EXPECT_EQ(readText(path(longest)), "long\n");

    ChildProcess pull = run({"fs", "pull", "/", path("out").string()});
    ASSERT_EQ(pull.wait(), EXIT_OK) << pull.out() << pull.err();
    EXPECT_EQ(readText(path("out") / longest), "long\n");
}

TEST_F(OutputSafetyRun, AFileThatCannotBeWrittenSaysWhyAndIsNeverCalledComplete) {
    ChildProcess full = run({"fs", "get", "/a.txt", "--out", "/dev/full"});
    EXPECT_EQ(full.wait(), EXIT_PORT_OR_FILE) << full.out() << full.err();
    EXPECT_NE((full.out() + full.err()).find("No space left on device"), std::string::npos)
        << full.out() << full.err();
    EXPECT_EQ(full.out().find("Dump Completed!"), std::string::npos) << full.out();
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(OutputSafetyRun, NamesFromThePhoneNeverReachTheTerminalRaw) {
    const std::string hostile = "\x1b]0;PWNED\x07\x1b[2Jx";
    const std::string forged = "a\r\nzrk410: forged";
    write(nand() / hostile, "1\n");
    write(nand() / forged, "2\n");
    for (auto args : {std::vector<std::string>{"fs", "ls"},
                      std::vector<std::string>{"fs", "pull", "/", path("out").string()}}) {
        ChildProcess c = run(args);
        EXPECT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
        for (const std::string& text : {c.out(), c.err()}) {
            EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
            EXPECT_EQ(text.find('\x07'), std::string::npos) << text;
            EXPECT_EQ(text.find("\nzrk410: forged"), std::string::npos) << text;
        }
        if (args[1] == "ls") {
            EXPECT_NE(c.out().find("\\x1B]0;PWNED\\x07\\x1B[2Jx\n"), std::string::npos) << c.out();
            EXPECT_NE(c.out().find("a\\x0D\\x0Azrk410: forged\n"), std::string::npos) << c.out();
        }
    }
}

TEST_F(OutputSafetyRun, OutputsThatWouldShareAFileAreRefusedBeforeAnyPhoneIsTouched) {
    // Both ports' per-port names come out as dmp-1.bin.
    ChildProcess ports =
        ChildProcess(ZRK410_EXE, {"--port", "/dev/zrk-a/1", "--port", "/dev/zrk-b/1", "dump",
                                  "--sectors", "0", "--out", path("dmp.bin").string()});
    EXPECT_EQ(ports.wait(), EXIT_USAGE) << ports.out() << ports.err();
    EXPECT_NE(ports.err().find("would both write"), std::string::npos) << ports.err();
    EXPECT_EQ(ports.err().find("could not be opened"), std::string::npos) << ports.err();

    ChildProcess traced = run({"--trace", path("same").string(), "dump", "--sectors", "0", "--out",
                               path("same").string()});
    EXPECT_EQ(traced.wait(), EXIT_USAGE) << traced.out() << traced.err();
    EXPECT_NE(traced.err().find("--out and --trace would both write"), std::string::npos)
        << traced.err();
    EXPECT_FALSE(fs::exists(path("same")));
}

TEST_F(OutputSafetyRun, AFifoAtAnOutputNameIsRefusedBeforeThePhoneIsAsked) {
    ASSERT_EQ(::mkfifo(path("f").c_str(), 0666), 0);
    fs::create_symlink(path("f"), path("to-f"));
    const std::string f = path("f").string();
    const std::string toF = path("to-f").string();
    // With no reader, opening any of them would wait for ever, --timeout or not.
    for (const auto& args :
         {std::vector<std::string>{"--timeout", "3", "dump", "--sectors", "0", "--out", f},
          std::vector<std::string>{"--log", f, "identify"},
          std::vector<std::string>{"--trace", toF, "identify"},
          std::vector<std::string>{"--report", f, "identify"},
          std::vector<std::string>{"--phones", "2", "--trace", path("t").string(), "--log", toF,
                                   "identify"},
          std::vector<std::string>{"fs", "get", "/a.txt", "--out", toF}}) {
        ChildProcess c = run(args);
        EXPECT_EQ(c.wait(std::chrono::seconds(30)), EXIT_USAGE) << args[1] << c.err();
        EXPECT_NE(c.err().find("FIFO; outputs are written only to regular files or to "
                               "devices under /dev"),
                  std::string::npos)
            << c.err();
        EXPECT_EQ(c.out().find("Power on"), std::string::npos) << c.out();
    }
    ChildProcess create(ZRK410_EXE, {"qix", "create", nand().string(), "--out", f});
    EXPECT_EQ(create.wait(std::chrono::seconds(30)), EXIT_USAGE) << create.err();
    EXPECT_TRUE(fs::is_fifo(path("f")));

    // What the user names as a device still takes the output.
    ChildProcess null =
        run({"--log", "/dev/stderr", "dump", "--sectors", "511", "--out", "/dev/null"});
    EXPECT_EQ(null.wait(), EXIT_OK) << null.err();
}

// The case that matters: a shared sticky folder, a FIFO another account made there with a
// reader of its own, and root writing a dump, a report, a log and a trace.
TEST_F(OutputSafetyRun, AFifoAnotherAccountLeftInASharedFolderReceivesNothing) {
    const fs::path shared = path("shared");
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
    const std::string fifo = (shared / "out").string();
    const std::string make = "runuser -u nobody -- mkfifo '" + fifo + "' 2>/dev/null";
    if (::geteuid() != 0 || std::system(make.c_str()) != 0)
        GTEST_SKIP() << "no second account to plant the FIFO as";
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    ASSERT_NE(st.st_uid, ::geteuid());
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const char* option : {"--out", "--report", "--log", "--trace"}) {
        std::vector<std::string> args = {"dump", "--sectors", "511", "--out", fifo};
        if (std::string(option) != "--out") {
            args.back() = path("dump.bin").string();
            args.insert(args.begin(), {option, fifo});
        }
        ChildProcess c = run(args);
        EXPECT_EQ(c.wait(std::chrono::seconds(30)), EXIT_USAGE) << option << c.err();
        EXPECT_NE(c.err().find("is a FIFO"), std::string::npos) << c.err();
        char byte = 0;
        EXPECT_LE(::read(reader, &byte, 1), 0) << option;
    }
    ::close(reader);
}

TEST_F(OutputSafetyRun, NoOutputMayReplaceAnInput) {
    std::string image(70000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7 + i / 251);
    write(path("fw.bin"), image);
    const std::string cfg =
        "QIXVERSION : V1.0            \r\nFILE_NAME : /b.txt\r\nFILE_SIZE : 3\r\n";
    write(path("fs.cfg"), cfg);
    write(path("fs.qix"), "bbb");
    fs::create_hard_link(path("fw.bin"), path("also-fw.bin"));
    const std::string bin = path("fw.bin").string();
    const std::string qix = path("fs.qix").string();
    struct Case {
        std::vector<std::string> args;
        const char* output;
        const char* input;
    };
    const std::vector<Case> cases = {
        {{"--trace", bin, "download", "--bin", bin}, "--trace", "--bin"},
        {{"--log", path("also-fw.bin").string(), "download", "--bin", bin}, "--log", "--bin"},
        {{"--report", qix, "download", "--qix", qix}, "--report", "--qix"},
        {{"--trace", path("x/../fs.cfg").string(), "download", "--qix", qix}, "--trace", ".cfg"},
        {{"--log", bin, "verify", "--bin", bin}, "--log", "--bin"},
        {{"--trace", path("fs.cfg").string(), "verify", "--qix", qix}, "--trace", ".cfg"},
        {{"--phones", "2", "--report", qix, "download", "--qix", qix}, "--report", "--qix"},
    };
    fs::create_directory(path("x"));
    for (const Case& c : cases) {
        ChildProcess p = run(c.args);
        EXPECT_EQ(p.wait(), EXIT_USAGE) << c.args[1] << p.err();
        EXPECT_NE(p.err().find(c.output), std::string::npos) << p.err();
        EXPECT_NE(p.err().find(c.input), std::string::npos) << p.err();
        EXPECT_EQ(p.out().find("Power on"), std::string::npos) << p.out();
    }
    EXPECT_EQ(readText(path("fw.bin")), image);
    EXPECT_EQ(readText(path("fs.cfg")), cfg);
    EXPECT_EQ(readText(path("fs.qix")), "bbb");
}

TEST_F(OutputSafetyRun, AFolderCopyNeverReplacesAFileEvenWithAnEmptyOne) {
    write(nand() / "notes.txt", "");
    fs::create_directories(path("out"));
    write(path("out") / "notes.txt", "mine\n");
    ChildProcess pull = run({"fs", "pull", "/", path("out").string()});
    EXPECT_EQ(pull.wait(), EXIT_PORT_OR_FILE) << pull.out() << pull.err();
    EXPECT_NE((pull.out() + pull.err()).find("already exists"), std::string::npos)
        << pull.out() << pull.err();
    EXPECT_EQ(readText(path("out") / "notes.txt"), "mine\n");
    EXPECT_EQ(readText(path("out") / "a.txt"), "phone a\n");
}

}  // namespace
}  // namespace zrk::cli

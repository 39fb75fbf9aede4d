// zrk410's image commands and the copies off the phone, run as a script would run them against
// the phone simulator: a folder made into an image, downloaded, backed up, formatted away and
// put back from the backup must come out as it went in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every folder (as "name/") and file (with its bytes) under root, by relative path.
std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_directory())
            out[relative + "/"] = "";
        else
            out[relative] = readBytes(entry.path());
    }
    return out;
}

std::string pattern(std::size_t n, unsigned seed) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(i * 131 + seed);
    return bytes;
}

class ImageRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-images-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(m_Folder / "phone" / "nand");
        fs::create_directories(src() / "media" / "Bilder" / "Ärger");
        fs::create_directories(src() / "leer");
        write(src() / "readme.txt", "read me\r\n");
        write(src() / "media" / "block.bin", pattern(8192, 3));
        write(src() / "media" / "Bilder" / "Grüße.raw", pattern(10000, 5));
        write(src() / "media" / "Bilder" / "Ärger" / "nichts.dat", "");
        write(src() / "empty.txt", "");
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    fs::path src() const { return m_Folder / "src"; }
    fs::path path(const std::string& name) const { return m_Folder / name; }
    static void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    // zrk410 in CP1252, against a simulator that starts with the phone's state and keeps
    // what it ends with.
    ChildProcess run(std::vector<std::string> args, const std::string& simExtra = {}) {
        const std::string state = (m_Folder / "phone").string();
        std::vector<std::string> all = {"--sim=preload=" + state + ",state-out=" + state + simExtra,
                                        "--codepage", "CP1252", "--quiet"};
        all.insert(all.end(), args.begin(), args.end());
        return ChildProcess(ZRK410_EXE, all, kEnv);
    }
    ChildProcess offline(std::vector<std::string> args) {
        args.insert(args.begin(), {"--codepage", "CP1252"});
        return ChildProcess(ZRK410_EXE, args, kEnv);
    }

    fs::path m_Folder;
};

TEST_F(ImageRun, ABackupPutBackAfterAFormatIsTheSameTreeAgain) {
    const std::string image = path("src.qix").string();
    ChildProcess create = offline({"qix", "create", src().string(), "--out", image});
    ASSERT_EQ(create.wait(), EXIT_OK) << create.out() << create.err();

    ChildProcess download = run({"download", "--qix", image});
    ASSERT_EQ(download.wait(), EXIT_OK) << download.out() << download.err();

    ChildProcess first = run({"fs", "backup", path("first").string()});
    ASSERT_EQ(first.wait(), EXIT_OK) << first.out() << first.err();
    EXPECT_TRUE(fs::exists(path("first.qix")));
    EXPECT_TRUE(fs::exists(path("first.cfg")));

    ChildProcess format = run({"format", "--yes"});
    ASSERT_EQ(format.wait(), EXIT_OK) << format.out() << format.err();
    ASSERT_TRUE(fs::is_empty(m_Folder / "phone" / "nand"));

    ChildProcess restore = run({"download", "--qix", path("first.qix").string()});
    ASSERT_EQ(restore.wait(), EXIT_OK) << restore.out() << restore.err();

    ChildProcess second = run({"fs", "backup", path("second").string()});
    ASSERT_EQ(second.wait(), EXIT_OK) << second.out() << second.err();

    const auto source = tree(src());
    ASSERT_EQ(source.size(), 9u);
    EXPECT_EQ(tree(path("first")), source);
    EXPECT_EQ(tree(path("second")), source);
    // The images hold the contents alone; the folder's name, each one's version, is in the .cfg.
    EXPECT_EQ(readBytes(path("first.qix")), readBytes(path("second.qix")));
}

TEST_F(ImageRun, CreateIsRepeatableAndListSaysWhatADownloadWouldSay) {
    const std::string image = path("a.qix").string();
    const std::string cfg = path("a.cfg").string();
    ChildProcess once = offline(
        {"qix", "create", src().string(), "--out", image, "--version", "V 1.0", "--release", "R7"});
    ASSERT_EQ(once.wait(), EXIT_OK) << once.err();
    const std::string firstImage = readBytes(image), firstCfg = readBytes(cfg);
    ChildProcess twice = offline(
        {"qix", "create", src().string(), "--out", image, "--version", "V 1.0", "--release", "R7"});
    ASSERT_EQ(twice.wait(), EXIT_OK) << twice.err();
    EXPECT_EQ(readBytes(image), firstImage);
    EXPECT_EQ(readBytes(cfg), firstCfg);

    ChildProcess list = offline({"qix", "list", image});
    ASSERT_EQ(list.wait(), EXIT_OK) << list.err();
    EXPECT_NE(list.out().find("version  'V 1.0           '\n"), std::string::npos) << list.out();
    EXPECT_NE(list.out().find("0      10000  /media/Bilder/Grüße.raw\n"), std::string::npos)
        << list.out();

    // One byte more in the image than the sizes say.
    write(image, firstImage + "x");
    ChildProcess longer = offline({"qix", "list", image});
    EXPECT_EQ(longer.wait(), EXIT_USAGE);
    EXPECT_NE(longer.out().find("QixFilesize(18202):CfgFilesize(18201)\nQIX file size "
                                "mismatched!!!\n"),
              std::string::npos)
        << longer.out();

    write(image, firstImage);
    write(cfg, firstCfg.substr(firstCfg.find("\r\n") + 2));
    ChildProcess noVersion = offline({"qix", "list", image});
    EXPECT_EQ(noVersion.wait(), EXIT_USAGE);
    EXPECT_NE(noVersion.out().find("QIXVERSION not found in cfg file"), std::string::npos);

    fs::remove(cfg);
    ChildProcess missing = offline({"qix", "list", image});
    EXPECT_EQ(missing.wait(), EXIT_PORT_OR_FILE);
}

// The example's names are CP1252; under the locale a new user has, the command line says so
// before the phone is asked for anything, and names the option that makes it go through.
TEST_F(ImageRun, TheExampleInCp1252IsRefusedWithTheOptionToUseThenDownloadsWithIt) {
    const std::string image = std::string(ZRK_EXAMPLES_DIR) + "/filesystem.qix";
    std::vector<std::string> env = kEnv;
    env.push_back("LC_ALL=C.UTF-8");
    const std::string state = (m_Folder / "phone").string();
    const std::string sim = "--sim=preload=" + state + ",state-out=" + state;

    ChildProcess list(ZRK410_EXE, {"qix", "list", image}, env);
    EXPECT_EQ(list.wait(), EXIT_USAGE);
    const std::string listed = list.out() + list.err();
    EXPECT_EQ(listed.find("too long"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\"/docs/Gr\\xFC\\xDFe.txt\" in filesystem.cfg is not valid in the "
                          "code page UTF-8"),
              std::string::npos)
        << listed;
    EXPECT_NE(listed.find("--codepage CP1252"), std::string::npos) << listed;

    ChildProcess refused(ZRK410_EXE, {sim, "--quiet", "download", "--qix", image}, env);
    EXPECT_EQ(refused.wait(), EXIT_USAGE);
    EXPECT_NE(refused.err().find("nothing was sent. All its names are valid in CP1252: choose it "
                                 "with --codepage CP1252."),
              std::string::npos)
        << refused.out() << refused.err();
    EXPECT_TRUE(fs::is_empty(m_Folder / "phone" / "nand"));

    ChildProcess download(
        ZRK410_EXE, {sim, "--quiet", "--codepage", "CP1252", "download", "--qix", image}, env);
    ASSERT_EQ(download.wait(), EXIT_OK) << download.out() << download.err();
    auto expected = tree(fs::path(ZRK_EXAMPLES_DIR) / "filesystem");
    expected.erase("empty/.gitkeep");  // keeps the folder in git; not in the image
    EXPECT_EQ(tree(m_Folder / "phone" / "nand"), expected);
}

// A file system may have folders and no file contents at all: its image is empty, and that is
// no reason to refuse it, as it is for firmware.
TEST_F(ImageRun, FoldersOnlyOrEmptyFilesMakePairsThatListAndDownload) {
    const fs::path folders = path("folders"), empties = path("empties");
    fs::create_directories(folders / "a" / "b" / "c");
    fs::create_directories(folders / "x");
    fs::create_directories(empties / "sub");
    write(empties / "one.txt", "");
    write(empties / "sub" / "two.txt", "");
    for (const fs::path& source : {folders, empties}) {
        SCOPED_TRACE(source.string());
        const std::string image = path(source.filename().string() + ".qix").string();
        ChildProcess create = offline({"qix", "create", source.string(), "--out", image});
        ASSERT_EQ(create.wait(), EXIT_OK) << create.out() << create.err();
        ASSERT_EQ(fs::file_size(image), 0u);
        ChildProcess list = offline({"qix", "list", image});
        EXPECT_EQ(list.wait(), EXIT_OK) << list.out() << list.err();

        fs::remove_all(m_Folder / "phone" / "nand");
        fs::create_directories(m_Folder / "phone" / "nand");
        ChildProcess download = run({"download", "--qix", image});
        ASSERT_EQ(download.wait(), EXIT_OK) << download.out() << download.err();
        EXPECT_NE(download.out().find("Download completed!"), std::string::npos) << download.out();
        EXPECT_EQ(tree(m_Folder / "phone" / "nand"), tree(source));
    }
}

TEST_F(ImageRun, PairsTooLargeAreRefusedWithWordsThatSayWhy) {
    const std::string image = path("big.qix").string();
    const std::string cfg = path("big.cfg").string();
    write(image, "");
    write(cfg, "");
    // Sparse, so the test neither fills the disk nor reads gigabytes.
    ASSERT_EQ(::truncate(cfg.c_str(), off_t{3} << 30), 0);
    for (const std::string command : {"list", "extract"}) {
        std::vector<std::string> args = {"qix", command, image};
        if (command == "extract")
            args.push_back(path("out").string());
        ChildProcess refused = offline(args);
        EXPECT_EQ(refused.wait(), EXIT_USAGE) << command;
        EXPECT_NE(refused.out().find(cfg + " is too large: a .cfg file may hold at most 16777216 "
                                           "bytes (16 MB)"),
                  std::string::npos)
            << refused.out() << refused.err();
        EXPECT_FALSE(fs::exists(path("out")));
    }
    // Before the port is opened: nobody is asked to switch a phone on for nothing.
    for (const std::string command : {"download", "verify"}) {
        ChildProcess refused(ZRK410_EXE,
                             {"--port", "/nonexistent/ttyUSB9", command, "--qix", image});
        EXPECT_EQ(refused.wait(), EXIT_USAGE) << command;
        EXPECT_NE(refused.err().find(cfg + " is too large"), std::string::npos) << refused.err();
    }

    write(cfg, "QIXVERSION : V1              \r\nFILE_NAME : /big\r\nFILE_SIZE : 4294967296\r\n");
    ASSERT_EQ(::truncate(image.c_str(), off_t{4294967296}), 0);
    ChildProcess huge = offline({"qix", "list", image});
    EXPECT_EQ(huge.wait(), EXIT_USAGE);
    EXPECT_NE(huge.out().find("The image is 4294967296 bytes (as its .cfg says), over 4 GB: a "
                              "download carries at most 4294967295 bytes\nQIX file size "
                              "mismatched!!!\n"),
              std::string::npos)
        << huge.out();
}

TEST_F(ImageRun, APullGoesOnPastAFailedFileAndSaysSo) {
    fs::copy(src(), m_Folder / "phone" / "nand", fs::copy_options::recursive);
    // The first block read out is damaged: that file fails, the others arrive.
    ChildProcess pull =
        run({"fs", "pull", "/media", path("media").string()}, ",bad-readout-block=0");
    EXPECT_EQ(pull.wait(), EXIT_PHONE_FAILED) << pull.out() << pull.err();
    EXPECT_NE(pull.err().find("could not copy /media/"), std::string::npos) << pull.err();
    EXPECT_NE(pull.out().find("Copied 2 files"), std::string::npos) << pull.out();
    const auto copied = tree(path("media"));
    EXPECT_EQ(copied.size(), 4u);  // two folders, two of the three files, no part file
    for (const auto& [name, bytes] : copied)
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

TEST_F(ImageRun, ABackupRefusesAFolderInUseBeforeThePhoneIsAsked) {
    ChildProcess used = run({"fs", "backup", src().string()});
    EXPECT_EQ(used.wait(), EXIT_USAGE);
    EXPECT_NE(used.err().find("not empty"), std::string::npos) << used.err();

    write(path("taken.qix"), "old");
    ChildProcess taken = run({"fs", "backup", path("taken").string()});
    EXPECT_EQ(taken.wait(), EXIT_USAGE);
    EXPECT_EQ(readBytes(path("taken.qix")), "old");
}

}  // namespace
}  // namespace zrk::cli

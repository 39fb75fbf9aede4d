// --codepage is the .cfg's code page and nothing else: what the terminal types and shows stays
// in the locale's encoding, so a workflow that needs the option (a CP1252 pair down, a CP1252
// backup up, verify against it) still reads a file whose name is not ASCII. Run against the
// phone simulator holding UTF-8 names, as every download leaves them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::string kGruesse =
    "Gr\xC3\xBC\xC3\x9F"
    "e.txt";                                                 // Grüße.txt in UTF-8
const std::string kHangul = "\xED\x95\x9C\xEA\xB8\x80.txt";  // 한글.txt in UTF-8

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> lines(const std::string& text) {
    std::set<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.insert(line);
    return out;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder))
        out.insert(entry.path().filename().string());
    return out;
}

class CodePageRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-codepage-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(nand() / "docs");
        write(nand() / "docs" / kGruesse, "hallo\n");
        write(nand() / "docs" / kHangul, "annyeong\n");
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    fs::path nand() const { return m_Folder / "phone" / "nand"; }
    fs::path path(const std::string& name) const { return m_Folder / name; }
    static void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    // zrk410 against a simulator that starts with the phone's state and keeps what it ends
    // with, in the locale given, with --codepage when one is given.
    ChildProcess run(const std::string& codePage, std::vector<std::string> args,
                     const std::string& locale = "C.UTF-8") {
        const std::string state = (m_Folder / "phone").string();
        std::vector<std::string> all = {"--sim=preload=" + state + ",state-out=" + state,
                                        "--quiet"};
        if (!codePage.empty())
            all.insert(all.end(), {"--codepage", codePage});
        all.insert(all.end(), args.begin(), args.end());
        return ChildProcess(ZRK410_EXE, all,
                            {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE, "LC_ALL=" + locale});
    }

    fs::path m_Folder;
};

TEST_F(CodePageRun, NamesAreTypedAndShownInTheLocaleWhateverTheCfgsCodePage) {
    for (const std::string codePage : {"", "CP1252", "CP949"}) {
        SCOPED_TRACE("--codepage " + codePage);
        ChildProcess ls = run(codePage, {"fs", "ls", "/docs"});
        ASSERT_EQ(ls.wait(), EXIT_OK) << ls.out() << ls.err();
        EXPECT_EQ(lines(ls.out()), (std::set<std::string>{kGruesse, kHangul})) << ls.out();

        ChildProcess stat = run(codePage, {"fs", "stat", "/docs/" + kGruesse});
        ASSERT_EQ(stat.wait(), EXIT_OK) << stat.out() << stat.err();
        EXPECT_NE(stat.out().find("*File size : 6 byte\n"), std::string::npos) << stat.out();

        const fs::path got = path("got-" + codePage);
        ChildProcess get = run(codePage, {"fs", "get", "/docs/" + kHangul, "--out", got.string()});
        ASSERT_EQ(get.wait(), EXIT_OK) << get.out() << get.err();
        EXPECT_EQ(readBytes(got), "annyeong\n");

        const fs::path pulled = path("pulled-" + codePage);
        ChildProcess pull = run(codePage, {"fs", "pull", "/docs", pulled.string()});
        ASSERT_EQ(pull.wait(), EXIT_OK) << pull.out() << pull.err();
        EXPECT_EQ(namesIn(pulled), (std::set<std::string>{kGruesse, kHangul}));
        EXPECT_EQ(readBytes(pulled / kGruesse), "hallo\n");
    }
    // Neither CP949 nor CP1252 holds both names: the removal is of the name as typed.
    ChildProcess rm = run("CP949", {"fs", "rm", "/docs/" + kGruesse});
    ASSERT_EQ(rm.wait(), EXIT_OK) << rm.out() << rm.err();
    EXPECT_EQ(namesIn(nand() / "docs"), std::set<std::string>{kHangul});
}

// An 8-bit terminal types and reads its own bytes; the phone still gets and keeps UTF-8.
TEST_F(CodePageRun, AnEightBitTerminalTypesAndReadsItsOwnBytes) {
    const std::string latin1 =
        "Gr\xFC\xDF"
        "e.txt";
    ChildProcess ls = run("CP949", {"fs", "ls", "/docs"}, "de_DE.ISO-8859-1");
    ASSERT_EQ(ls.wait(), EXIT_OK) << ls.out() << ls.err();
    EXPECT_NE(ls.out().find(latin1 + "\n"), std::string::npos) << ls.out();
    EXPECT_EQ(ls.out().find(kGruesse), std::string::npos) << ls.out();

    const fs::path got = path("got");
    ChildProcess get =
        run("CP949", {"fs", "get", "/docs/" + latin1, "--out", got.string()}, "de_DE.ISO-8859-1");
    ASSERT_EQ(get.wait(), EXIT_OK) << get.out() << get.err();
    EXPECT_EQ(readBytes(got), "hallo\n");
}

// A name the terminal's encoding cannot hold would reach the phone as another name, or as
// garbage: it is refused before the phone is asked, naming the name and the encoding.
TEST_F(CodePageRun, ANameTheTerminalsEncodingCannotHoldIsRefusedBeforeThePhone) {
    struct Case {
        std::string locale, encoding;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        // Latin-1 bytes typed on a UTF-8 terminal.
        {"C.UTF-8",
         "UTF-8",
         {"fs", "get",
          "/docs/Gr\xFC\xDF"
          "e.txt",
          "--out", path("never").string()}},
        {"de_DE.CP1252", "CP1252", {"fs", "stat", "/docs/\x81.txt"}},
        {"C", "UTF-8", {"fs", "ls", "/d\xFF"}},
        {"C.UTF-8", "UTF-8", {"fs", "pull", "/docs/\xC3", path("never-dir").string()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale + " " + c.args[1]);
        // A port that does not exist shows that nothing was opened: that would be exit 3.
        std::vector<std::string> all = {"--port", "/dev/zrk410-no-such-port"};
        all.insert(all.end(), c.args.begin(), c.args.end());
        ChildProcess refused(ZRK410_EXE, all, {"LC_ALL=" + c.locale});
        EXPECT_EQ(refused.wait(), EXIT_USAGE) << refused.out() << refused.err();
        EXPECT_NE(refused.err().find("is not valid in the terminal's encoding " + c.encoding),
                  std::string::npos)
            << refused.err();
        EXPECT_NE(refused.err().find("\\x"), std::string::npos) << refused.err();
        EXPECT_FALSE(fs::exists(path("never")));
        EXPECT_FALSE(fs::exists(path("never-dir")));
    }
}

// A terminal whose locale is plain ASCII shows names as UTF-8, so it types them so too.
TEST_F(CodePageRun, AnAsciiLocaleTypesUtf8AsItShowsIt) {
    ChildProcess ls = run("CP1252", {"fs", "ls", "/docs"}, "C");
    ASSERT_EQ(ls.wait(), EXIT_OK) << ls.out() << ls.err();
    EXPECT_EQ(lines(ls.out()), (std::set<std::string>{kGruesse, kHangul})) << ls.out();
    const fs::path got = path("got");
    ChildProcess get =
        run("CP1252", {"fs", "get", "/docs/" + kGruesse, "--out", got.string()}, "C");
    ASSERT_EQ(get.wait(), EXIT_OK) << get.out() << get.err();
    EXPECT_EQ(readBytes(got), "hallo\n");
}

// A backup whose .cfg is in CP1252 puts the same tree back and verifies against it, and the
// names on the phone are the same UTF-8 names after the round trip.
TEST_F(CodePageRun, ABackupInCp1252RestoresAndVerifiesTheSameNames) {
    fs::remove(nand() / "docs" / kHangul);  // CP1252 cannot hold it
    fs::create_directories(nand() / ("\xC3\x84"
                                     "rger"));
    write(nand() /
              ("\xC3\x84"
               "rger") /
              "nichts.dat",
          "");

    ChildProcess backup = run("CP1252", {"fs", "backup", path("saved").string()});
    ASSERT_EQ(backup.wait(), EXIT_OK) << backup.out() << backup.err();
    const std::string cfg = readBytes(path("saved.cfg"));
    EXPECT_NE(cfg.find("/docs/Gr\xFC\xDF"
                       "e.txt\r\n"),
              std::string::npos)
        << cfg;
    EXPECT_NE(cfg.find("/\xC4rger\r\n"), std::string::npos) << cfg;
    EXPECT_EQ(cfg.find(kGruesse), std::string::npos) << cfg;

    ChildProcess format = run("", {"format", "--yes"});
    ASSERT_EQ(format.wait(), EXIT_OK) << format.out() << format.err();
    ChildProcess restore = run("CP1252", {"download", "--qix", path("saved.qix").string()});
    ASSERT_EQ(restore.wait(), EXIT_OK) << restore.out() << restore.err();

    EXPECT_EQ(readBytes(nand() / "docs" / kGruesse), "hallo\n");
    EXPECT_TRUE(fs::is_regular_file(nand() /
                                    ("\xC3\x84"
                                     "rger") /
                                    "nichts.dat"));
    ChildProcess verify = run("CP1252", {"verify", "--qix", path("saved.qix").string()});
    EXPECT_EQ(verify.wait(), EXIT_OK) << verify.out() << verify.err();
    ChildProcess get =
        run("CP1252", {"fs", "get", "/docs/" + kGruesse, "--out", path("back.txt").string()});
    ASSERT_EQ(get.wait(), EXIT_OK) << get.out() << get.err();
    EXPECT_EQ(readBytes(path("back.txt")), "hallo\n");

    // Read as the locale's UTF-8, the CP1252 names are refused and the page that fits named.
    ChildProcess wrongPage = run("", {"verify", "--qix", path("saved.qix").string()});
    EXPECT_EQ(wrongPage.wait(), EXIT_USAGE) << wrongPage.out() << wrongPage.err();
    EXPECT_NE(wrongPage.err().find("--codepage CP1252"), std::string::npos) << wrongPage.err();
}

// A CP949 backup of a phone that holds a name CP949 cannot write keeps the files and says
// which name and which code page stopped the image.
TEST_F(CodePageRun, ABackupWhoseNamesItsCodePageCannotHoldSaysWhich) {
    ChildProcess backup = run("CP949", {"fs", "backup", path("saved").string()});
    EXPECT_EQ(backup.wait(), EXIT_PORT_OR_FILE) << backup.out() << backup.err();
    EXPECT_NE(backup.err().find(kGruesse), std::string::npos) << backup.err();
    EXPECT_NE(backup.err().find("CP949"), std::string::npos) << backup.err();
    EXPECT_EQ(namesIn(path("saved") / "docs"), (std::set<std::string>{kGruesse, kHangul}));
    EXPECT_FALSE(fs::exists(path("saved.qix")));
}

}  // namespace
}  // namespace zrk::cli

// Names from the phone reach the terminal, the log file and the complaints as printable text
// only: whatever bytes a phone's file is called by, no line is forged, no escape sequence is
// started and no text is turned around, in UTF-8 and in an 8-bit code page alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

// The terminal's encoding is the locale's.
const std::vector<std::string> kUtf8Terminal = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE, "LC_ALL=C.UTF-8"};
const std::vector<std::string> kLatin1Terminal = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE,
                                                  "LC_ALL=de_DE.ISO-8859-1"};

const std::string kTurned = "\u202Etxt.exe";  // reads "exe.txt"
const std::string kNotUtf8 =
    "bad\x9B"
    "2J";  // 0x9B: CSI on an 8-bit terminal
const std::string kC1 =
    "c1\xC2\x9B"
    "2J";                                           // U+009B, a raw 0x9B in ISO-8859-1
const std::string kBroken = "new\nzrk410: forged";  // a line of its own if printed raw
const std::string kReadable = "Grüße";

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PrintedNamesRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-names-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(nand() / "d");
        for (const std::string& name : {kTurned, kNotUtf8, kC1, kBroken, kReadable})
            std::ofstream(nand() / "d" / name, std::ios::binary) << "x\n";
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    fs::path nand() const { return m_Folder / "phone" / "nand"; }
    fs::path path(const std::string& name) const { return m_Folder / name; }

    // Everything the run printed: stdout, stderr and its --log file.
    std::string run(std::vector<std::string> args, int* exitCode,
                    const std::vector<std::string>& env = kUtf8Terminal) {
        std::vector<std::string> all = {"--sim=preload=" + (m_Folder / "phone").string(), "--log",
                                        path("run.log").string()};
        all.insert(all.end(), args.begin(), args.end());
        ChildProcess child(ZRK410_EXE, all, env);
        *exitCode = child.wait();
        return child.out() + "\n--- stderr\n" + child.err() + "\n--- log\n" +
               readText(path("run.log"));
    }

    static void expectNothingRaw(const std::string& text) {
        EXPECT_EQ(text.find('\x9B'), std::string::npos) << text;
        EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
        EXPECT_EQ(text.find("\u202E"), std::string::npos) << text;
        EXPECT_EQ(text.find("\nzrk410: forged"), std::string::npos) << text;
    }

    fs::path m_Folder;
};

TEST_F(PrintedNamesRun, ListingsCopiesAndComplaintsShowEveryUnprintableByteEscaped) {
    int code = 0;
    const std::string listed = run({"fs", "ls", "/d"}, &code);
    EXPECT_EQ(code, EXIT_OK) << listed;
    expectNothingRaw(listed);
    EXPECT_NE(listed.find("\n\\u202Etxt.exe\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\nc1\\xC2\\x9B2J\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\nnew\\x0Azrk410: forged\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\n" + kReadable + "\n"), std::string::npos) << listed;

    const std::string pulled = run({"fs", "pull", "/d", path("out").string()}, &code);
    expectNothingRaw(pulled);
    EXPECT_NE(pulled.find("bad\\x9B2J"), std::string::npos) << pulled;
    EXPECT_NE(pulled.find("\\u202Etxt.exe"), std::string::npos) << pulled;

    // A name the user typed and the phone's failure line about it.
    const std::string got =
        run({"fs", "get", "/d/" + kNotUtf8, "--out", path("got").string()}, &code);
    EXPECT_NE(code, EXIT_OK) << got;
    expectNothingRaw(got);
    EXPECT_NE(got.find("bad\\x9B2J"), std::string::npos) << got;

    for (const char* command : {"stat", "rm"}) {
        const std::string told = run({"fs", command, "/d/" + kTurned}, &code);
        EXPECT_EQ(code, EXIT_OK) << told;
        expectNothingRaw(told);
    }
}

// Names converted to an 8-bit page keep nothing the terminal would obey: on a UTF-8 terminal
// the page's bytes are no characters at all, on a Latin-1 one its C1 bytes are controls.
TEST_F(PrintedNamesRun, AnEightBitCodePageNeverTurnsAControlCharacterIntoARawByte) {
    int code = 0;
    const std::string onUtf8 = run({"--codepage", "ISO-8859-1", "fs", "ls", "/d"}, &code);
    EXPECT_EQ(code, EXIT_OK) << onUtf8;
    expectNothingRaw(onUtf8);
    // --codepage is the .cfg's alone: a UTF-8 terminal is shown UTF-8, the C1 control escaped.
    EXPECT_NE(onUtf8.find("\nc1\\xC2\\x9B2J\n"), std::string::npos) << onUtf8;
    EXPECT_NE(onUtf8.find("\nGr\xC3\xBC\xC3\x9F"
                          "e\n"),
              std::string::npos)
        << onUtf8;

    const std::string onLatin1 = run({"fs", "ls", "/d"}, &code, kLatin1Terminal);
    EXPECT_EQ(code, EXIT_OK) << onLatin1;
    expectNothingRaw(onLatin1);
    EXPECT_NE(onLatin1.find("\nc1\\x9B2J\n"), std::string::npos) << onLatin1;
    // The page's own letters are the terminal's printable characters.
    EXPECT_NE(onLatin1.find("\nGr\xFC\xDF"
                            "e\n"),
              std::string::npos)
        << onLatin1;
}

}  // namespace
}  // namespace zrk::cli

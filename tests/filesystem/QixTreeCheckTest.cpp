#include "filesystem/QixTreeCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixListing.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

const std::string kVersionLine = "QIXVERSION : 0123456789ABCDEF\r\n";

CodePage open(const std::string& name) {
    return std::move(*CodePage::open(name, nullptr));
}

// The line and words of the first problem of a whole text, lines and then tree; {0, ""} when
// it passes.
QixTreeProblem problemOf(const std::string& text, const std::string& codePage = "UTF-8") {
    if (auto lines = checkQixLines(text))
        return *lines;
    std::uint64_t sum = 0;
    for (std::size_t at = text.find("FILE_SIZE : "); at != std::string::npos;
         at = text.find("FILE_SIZE : ", at + 1))
        sum += std::strtoull(text.c_str() + at + 12, nullptr, 10);
    auto check = checkQixConfigText(text, sum);
    EXPECT_TRUE(check.ok()) << check.logText << check.messageText;
    if (!check.ok())
        return {};
    return checkQixTree(*check.config, open(codePage)).value_or(QixTreeProblem{});
}

void expectRefused(const std::string& text, std::size_t line, const std::string& words,
                   const std::string& codePage = "UTF-8") {
    const QixTreeProblem problem = problemOf(text, codePage);
    EXPECT_EQ(problem.line, line) << text;
    EXPECT_NE(problem.what.find(words), std::string::npos) << problem.what << "\n" << text;
    EXPECT_EQ(problem.what.find_first_of("\r\n\x1B"), std::string::npos) << problem.what;
}

TEST(QixLines, ALineEndOtherThanCrLfOrAControlByteInAValueIsRefusedWithItsLine) {
    // A .cfg saved with Unix line ends: its first name would run on into the next line.
    expectRefused("QIXVERSION : 1\nDIR_NAME : /a\nFILE_NAME : /b\nFILE_SIZE : 3\n", 1, "bare LF");
    // A name that would print a line of its own in the log.
    expectRefused(kVersionLine + "FILE_NAME : /a\n** Download completed! **\r\nFILE_SIZE : 0\r\n",
                  2, "bare LF");
    expectRefused(kVersionLine + "DIR_NAME : /a\rb\r\n", 2, "bare CR");
    expectRefused(kVersionLine + "DIR_NAME : /ok\r\nDIR_NAME : /a\x1B[2Jb\r\n", 3,
                  "folder name \"/a\\x1B[2Jb\" holds a control character");
    expectRefused(kVersionLine + "FILE_NAME : /a\tb\r\nFILE_SIZE : 0\r\n", 2, "\\x09");
    expectRefused(kVersionLine + std::string("FILE_NAME : /a\0b\r\nFILE_SIZE : 0\r\n", 32), 2,
                  "\\x00");
    expectRefused("QIXVERSION : 1\x7F\r\n", 1, "version");
    // A text that is no value may say what it likes, and the version's 16 bytes may take the
    // next line along, as they always did.
    EXPECT_EQ(problemOf("made by hand\x01\r\nQIXVERSION : 1.0\r\nDIR_NAME : /a\r\n").line, 0u);
}

TEST(QixLines, EachFileHasOneSizeOfItsOwnAndNoValueHoldsAKey) {
    expectRefused(kVersionLine + "FILE_NAME : /aFILE_SIZE : 3\r\n", 2, "holds \"FILE_SIZE : \"");
    expectRefused("QIXVERSION : 1 DIR_NAME : /x\r\n", 1, "holds \"DIR_NAME : \"");
    // The download would give /a the size of /b and never send /b.
    expectRefused(kVersionLine + "FILE_NAME : /a\r\nFILE_NAME : /b\r\nFILE_SIZE : 3\r\n", 2,
                  "no FILE_SIZE");
    expectRefused(kVersionLine + "FILE_NAME : /a\r\n", 2, "no FILE_SIZE");
    expectRefused(kVersionLine + "FILE_SIZE : 3\r\nFILE_NAME : /a\r\nFILE_SIZE : 0\r\n", 2,
                  "no FILE_NAME before it");
    expectRefused(kVersionLine + "FILE_NAME : /a\r\nFILE_SIZE : 1\r\nFILE_SIZE : 2\r\n", 4,
                  "second FILE_SIZE for the file on line 2");
    expectRefused(kVersionLine + "FILE_NAME : /a\r\nFILE_SIZE :  9\r\n", 3,
                  "\" 9\" is not a number");
    expectRefused(kVersionLine + "FILE_NAME : /a\r\nFILE_SIZE : \r\n", 3, "is not a number");
    // Folders may stand between a file and its size: the walk finds the size all the same.
    EXPECT_EQ(
        problemOf(kVersionLine + "FILE_NAME : /a\r\nDIR_NAME : /d\r\nFILE_SIZE : 2 \r\n").line, 0u);
}

TEST(QixTree, OnePathOnceAsTheFolderOrFileThePhoneWouldMakeOfIt) {
    // The phone drops repeated separators, "." parts and blanks at the end of a part.
    for (const std::string again : {"/b", "//./b", "/b ", "b", "/b/"}) {
        expectRefused(kVersionLine + "FILE_NAME : /b\r\nFILE_SIZE : 0\r\nFILE_NAME : " + again +
                          "\r\nFILE_SIZE : 0\r\n",
                      4, "already listed on line 2");
    }
    expectRefused(kVersionLine + "DIR_NAME : /d\r\nDIR_NAME : /d/.\r\n", 3,
                  "already listed on line 2");
    expectRefused(kVersionLine + "DIR_NAME : /b\r\nFILE_NAME : /b\r\nFILE_SIZE : 0\r\n", 3,
                  "also listed as a folder on line 2");
    // A file's folders are made for it, so no file may take their names.
    expectRefused(
        kVersionLine + "FILE_NAME : /a\r\nFILE_SIZE : 0\r\nFILE_NAME : /a/b\r\nFILE_SIZE : 0\r\n",
        4, "needs the folder /a, which line 2 lists as a file");
    expectRefused(kVersionLine + "DIR_NAME : /x/y\r\nFILE_NAME : /x\r\nFILE_SIZE : 0\r\n", 2,
                  "needs the folder /x, which line 3 lists as a file");
    expectRefused(kVersionLine + "DIR_NAME : /a/../b\r\n", 2, "\"..\"");
    expectRefused(kVersionLine + "FILE_NAME : /a/..\r\nFILE_SIZE : 0\r\n", 2, "\"..\"");
    expectRefused(kVersionLine + "DIR_NAME : /./\r\n", 2, "the root folder");
    expectRefused(kVersionLine + "FILE_NAME : / \r\nFILE_SIZE : 0\r\n", 2, "the root folder");
    // Blanks and case are the phone's business: these are all different paths.
    EXPECT_EQ(
        problemOf(kVersionLine +
                  "DIR_NAME : /B\r\nDIR_NAME : / b\r\nFILE_NAME : /b\r\nFILE_SIZE : 0\r\n"
                  "FILE_NAME : /B/b\r\nFILE_SIZE : 0\r\nFILE_NAME : /c/d\r\nFILE_SIZE : 0\r\n")
            .line,
        0u);
}

TEST(QixTree, APartOver254BytesOrAC1ControlIsRefused) {
    const std::string part254(254, 'n');
    EXPECT_EQ(problemOf(kVersionLine + "FILE_NAME : /d/" + part254 + "\r\nFILE_SIZE : 0\r\n").line,
              0u);
    expectRefused(kVersionLine + "FILE_NAME : /d/" + part254 + "n\r\nFILE_SIZE : 0\r\n", 2,
                  "255 bytes in UTF-8; the phone lists names of at most 254");
    // 128 characters of CP1252 that are two bytes each in UTF-8.
    expectRefused(
        kVersionLine + "FILE_NAME : /" + std::string(128, '\xE4') + "\r\nFILE_SIZE : 0\r\n", 2,
        "256 bytes in UTF-8", "CP1252");
    // In ISO-8859-1, 85h is the control NEL; in CP1252 it is an ellipsis.
    expectRefused(kVersionLine + "FILE_NAME : /a\x85\r\nFILE_SIZE : 0\r\n", 2,
                  "holds a control character", "ISO-8859-1");
    EXPECT_EQ(problemOf(kVersionLine + "FILE_NAME : /a\x85\r\nFILE_SIZE : 0\r\n", "CP1252").line,
              0u);
}

TEST(QixTree, PathPartsAreThePhones) {
    using Parts = std::vector<std::string>;
    EXPECT_EQ(phonePathParts("//a/./b  /c"), (Parts{"a", "b", "c"}));
    EXPECT_EQ(phonePathParts(" a"), (Parts{" a"}));
    EXPECT_EQ(phonePathParts("/"), Parts{});
    EXPECT_FALSE(phonePathParts("/a/../b"));
    EXPECT_FALSE(phonePathParts("/a/.. "));
}

TEST(QixTree, ThePairsOurToolsMakePassAndAListingRefusesADuplicate) {
    test::TempDir dir;
    const auto example = [](const char* name) {
        return std::string(ZRK_EXAMPLES_DIR) + "/" + name;
    };
    const CodePage cp1252 = open("CP1252");
    QixListing listing =
        readQixListing(example("filesystem.qix"), example("filesystem.cfg"), cp1252);
    EXPECT_TRUE(listing.ok()) << listing.logText << listing.messageText;

    const std::string cfg = dir.file("fs.cfg");
    std::ofstream(cfg, std::ios::binary)
        << kVersionLine +
               "FILE_NAME : /b\r\nFILE_SIZE : 1\r\nFILE_NAME : //./b\r\nFILE_SIZE : 1\r\n";
    std::ofstream(dir.file("fs.qix"), std::ios::binary) << "xy";
    listing = readQixListing(dir.file("fs.qix"), cfg, cp1252);
    EXPECT_FALSE(listing.ok());
    EXPECT_FALSE(listing.checked);  // nothing of it is listed
    EXPECT_FALSE(listing.unreadable);
    EXPECT_EQ(listing.logText,
              "fs.cfg, line 4: the file \"//./b\" is /b, already listed on line 2\r\n");
}

}  // namespace
}  // namespace zrk

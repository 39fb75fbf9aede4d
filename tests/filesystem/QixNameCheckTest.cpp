#include "filesystem/QixNameCheck.h"

#include <gtest/gtest.h>

#include "filesystem/CodePage.h"
#include "filesystem/QixListing.h"
#include "support/QixTestConfig.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

const auto open = &test::openCodePage;
const auto config = &test::qixConfig;

// "Grüße" as a CP1252 tool writes it: FC and DF are no UTF-8.
const std::string kCp1252Entries =
    "DIR_NAME : /docs\r\nFILE_NAME : /a.txt\r\nFILE_SIZE : 0\r\n"
    "FILE_NAME : /docs/Gr\xFC\xDF"
    "e.txt\r\nFILE_SIZE : 0\r\n";

TEST(QixNames, AForeignNameIsFoundBeforeTheWalkAndACodePageThatFitsIsNamed) {
    const QixConfig cfg = config(kCp1252Entries);
    const QixNameCheck check = checkQixNames(cfg, open("UTF-8"));
    ASSERT_FALSE(check.ok());
    EXPECT_TRUE(check.problem->unconvertible);
    EXPECT_FALSE(check.problem->directory);
    EXPECT_EQ(check.problem->localName,
              "/docs/Gr\xFC\xDF"
              "e.txt");
    // The walk's own complaint stays, its foreign bytes shown, not sent to the log raw.
    EXPECT_EQ(check.problem->complaint, "File name is too long\"/docs/Gr\\xFC\\xDFe.txt\"... ");
    EXPECT_EQ(check.suggestion, "CP1252");

    const std::string text =
        qixNameExplanation(check, "/home/u/fs.cfg", "UTF-8", "--codepage NAME", "nothing was sent");
    EXPECT_EQ(text,
              "** The file name \"/docs/Gr\\xFC\\xDFe.txt\" in fs.cfg is not valid in the code "
              "page UTF-8; nothing was sent. All its names are valid in CP1252: choose it with "
              "--codepage CP1252.\r\n");
    EXPECT_EQ(qixCodePageQuestion("/home/u/fs.cfg", "UTF-8", "CP1252"),
              "The names in fs.cfg are not valid in UTF-8; they are valid in CP1252. Use CP1252?");

    // In the right code page nothing is wrong.
    EXPECT_TRUE(checkQixNames(cfg, open("CP1252")).ok());
}

TEST(QixNames, UnicodeNamesUnderAnAsciiLocaleSuggestUtf8AndNoFitLeavesTheChoiceOpen) {
    // "C" reads as ASCII: a UTF-8 "é" folder is refused there, and UTF-8 comes first.
    const QixConfig utf8 = config("DIR_NAME : /caf\xC3\xA9\r\n");
    const QixNameCheck check = checkQixNames(utf8, open("ANSI_X3.4-1968"));
    ASSERT_FALSE(check.ok());
    EXPECT_TRUE(check.problem->directory);
    EXPECT_EQ(check.suggestion, "UTF-8");

    // A name no common code page takes whole (80h is no UTF-8 and takes two or three bytes
    // elsewhere, too many for a folder) still says how to choose one; the terminal control in
    // it is escaped wherever the name is shown.
    const QixConfig none = config("DIR_NAME : /\x1B[2J" + std::string(40, '\x80') + "\r\n");
    const QixNameCheck stuck = checkQixNames(none, open("UTF-8"));
    ASSERT_FALSE(stuck.ok());
    EXPECT_TRUE(stuck.problem->unconvertible);
    EXPECT_FALSE(stuck.suggestion) << *stuck.suggestion;
    const std::string text =
        qixNameExplanation(stuck, "fs.cfg", "UTF-8", "the code page button", "nothing was sent");
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
    EXPECT_EQ(stuck.problem->complaint.find('\x1B'), std::string::npos);
    EXPECT_NE(text.find("\"/\\x1B[2J\\x80\\x80"), std::string::npos) << text;
    EXPECT_NE(text.find("Choose the code page the .cfg was written in with the code page button."),
              std::string::npos)
        << text;
}

TEST(QixNames, ANameThatConvertsButIsTooLongIsNoCodePageMatter) {
    const QixConfig cfg = config("DIR_NAME : /" + std::string(61, 'd') + "\r\n");
    const QixNameCheck check = checkQixNames(cfg, open("UTF-8"));
    ASSERT_FALSE(check.ok());
    EXPECT_FALSE(check.problem->unconvertible);
    EXPECT_FALSE(check.suggestion);
    const std::string text = qixNameExplanation(check, "fs.cfg", "UTF-8", "--codepage NAME", "");
    EXPECT_NE(text.find("is too long for the phone in UTF-8 (at most 61 bytes)."),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("--codepage"), std::string::npos) << text;
}

TEST(QixNames, PrintableLocalNameKeepsUtf8AndEscapesTheRest) {
    EXPECT_EQ(printableLocalName("/한글/a"), "/한글/a");
    // A cut sequence, an overlong form and a surrogate are bytes, not characters.
    EXPECT_EQ(printableLocalName("\xED\x95"), "\\xED\\x95");
    EXPECT_EQ(printableLocalName("\xC0\xAF"), "\\xC0\\xAF");
    EXPECT_EQ(printableLocalName("\xED\xA0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(printableLocalName("a\r\nb"), "a\\x0D\\x0Ab");
}

TEST(QixNames, ListingExplainsAForeignNameInsteadOfCallingItTooLong) {
    test::TempDir dir;
    const std::string text = "QIXVERSION : 0123456789ABCDEF\r\n" + kCp1252Entries;
    const std::string cfg = dir.write("fs.cfg", {text.begin(), text.end()});
    const std::string image = dir.write("fs.qix", {});
    const QixListing listing = readQixListing(image, cfg, open("UTF-8"), "--codepage NAME");
    EXPECT_FALSE(listing.ok());
    EXPECT_EQ(listing.logText.find("too long"), std::string::npos) << listing.logText;
    EXPECT_NE(listing.logText.find("--codepage CP1252"), std::string::npos) << listing.logText;
    EXPECT_TRUE(readQixListing(image, cfg, open("CP1252")).ok());
}

}  // namespace
}  // namespace zrk

// A name from the phone or a file is shown, never obeyed: whatever its bytes, what reaches a
// terminal is printable characters and visible escapes.
#include <gtest/gtest.h>

#include "engine/SafeText.h"

namespace zrk {
namespace {

TEST(PrintableName, ControlsInvalidUtf8AndLayoutCharactersAreEscapedReadableTextIsNot) {
    EXPECT_EQ(printableName("/Grüße/한글.txt"), "/Grüße/한글.txt");
    EXPECT_EQ(printableName("a\nb\tc\x7F"), "a\\x0Ab\\x09c\\x7F");
    // Each byte of what is not UTF-8 on its own: a lone 0x9B is a control sequence's start on
    // an 8-bit terminal; overlong forms, surrogates and cut sequences are no characters.
    EXPECT_EQ(printableName("/a\x9B"
                            "2J"),
              "/a\\x9B2J");
    EXPECT_EQ(printableName("\xC0\xAF|\xED\xA0\x80|\xE2\x82"),
              "\\xC0\\xAF|\\xED\\xA0\\x80|\\xE2\\x82");
    EXPECT_EQ(printableName("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");  // beyond U+10FFFF
    // C1 as UTF-8.
    EXPECT_EQ(printableName("x\xC2\x9B"
                            "2J"),
              "x\\xC2\\x9B2J");
    // Text that turns around or breaks the line it is in.
    EXPECT_EQ(printableName("/\u202Etxt.exe"), "/\\u202Etxt.exe");
    EXPECT_EQ(printableName("a\u2028b\u2029c\u2066d\u2069\u200F"),
              "a\\u2028b\\u2029c\\u2066d\\u2069\\u200F");
    EXPECT_EQ(printableName("€ ✓ \U0001F600"), "€ ✓ \U0001F600");
}

TEST(PrintableName, WholeTextsKeepTheirOwnLineBreaksOnly) {
    EXPECT_EQ(withoutControlCharacters("one\r\ntwo\tthree\n"), "one\r\ntwo\tthree\n");
    EXPECT_EQ(withoutControlCharacters("\x1B[2J\xC2\x9B\xFF\u202E\n"),
              "\\x1B[2J\\xC2\\x9B\\xFF\\u202E\n");
}

}  // namespace
}  // namespace zrk

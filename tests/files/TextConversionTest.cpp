#include "files/TextConversion.h"

#include <gtest/gtest.h>

namespace zrk {
namespace {

// What any system's converter must do for the code pages above it: refuse what it does not
// know, fail a whole text on one bad byte, and start clean after a failure.
TEST(TextConversion, StrictWholeTextConversion) {
    EXPECT_EQ(TextConversion::open("UTF-8", "NO-SUCH-PAGE"), nullptr);
    const auto toUtf8 = TextConversion::open("UTF-8", "CP1252");
    ASSERT_NE(toUtf8, nullptr);
    EXPECT_EQ(toUtf8->convert("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(toUtf8->convert(""), "");
    EXPECT_FALSE(toUtf8->convert("ok\x81"));  // a hole in CP1252 at the very end
    EXPECT_EQ(toUtf8->convert("ok"), "ok");
}

// A character the target page lacks fails the text: never a look-alike (Windows would write
// "a" for "\u0101" unless told not to) or a default character.
TEST(TextConversion, ACharacterTheTargetLacksFailsTheText) {
    const auto toCp1252 = TextConversion::open("CP1252", "UTF-8");
    ASSERT_NE(toCp1252, nullptr);
    EXPECT_EQ(toCp1252->convert("\xE2\x82\xAC"), "\x80");
    EXPECT_FALSE(toCp1252->convert("\xCE\xA9"));  // Greek capital omega
    EXPECT_FALSE(toCp1252->convert("\xC4\x81"));  // a with macron
    EXPECT_FALSE(toCp1252->convert("\xFF"));      // not UTF-8 at all
    const auto toGbk = TextConversion::open("GBK", "UTF-8");
    ASSERT_NE(toGbk, nullptr);
    EXPECT_EQ(toGbk->convert("\xE4\xB8\xAD"), "\xD6\xD0");
    EXPECT_FALSE(toGbk->convert("\xF0\x9F\x98\x80"));  // an emoji, which GBK lacks
}

// Conversions are closed and opened again often (a code page per download, per explorer): one
// opened again converts between its own two pages, and from the first byte as a new one would.
TEST(TextConversion, OneOpenedAgainIsAsGoodAsNew) {
    for (int round = 0; round < 3; ++round) {
        const auto toCp1252 = TextConversion::open("CP1252", "UTF-8");
        const auto toUtf8 = TextConversion::open("UTF-8", "CP1252");
        ASSERT_NE(toCp1252, nullptr);
        ASSERT_NE(toUtf8, nullptr);
        EXPECT_EQ(toCp1252->convert("\xE2\x82\xAC"), "\x80") << round;
        EXPECT_EQ(toUtf8->convert("\x80"), "\xE2\x82\xAC") << round;
        EXPECT_FALSE(toCp1252->convert("\xCE"));  // cut off: a converter left mid-character
    }
    // Left in a shifted state by the last text, the next one still starts plain.
    for (int round = 0; round < 2; ++round) {
        const auto toJis = TextConversion::open("ISO-2022-JP", "UTF-8");
        if (!toJis)
            GTEST_SKIP() << "no ISO-2022-JP converter here";
        EXPECT_NE(toJis->convert("\xE3\x81\x82"), std::nullopt);  // hiragana a, shifted
        EXPECT_EQ(toJis->convert("plain"), "plain") << round;
    }
}

TEST(TextConversion, InstalledLocaleCodeSet) {
    EXPECT_EQ(installedLocaleCodeSet("C.UTF-8"), "UTF-8");
    EXPECT_FALSE(installedLocaleCodeSet(""));  // never the environment's own locale
    EXPECT_FALSE(installedLocaleCodeSet("xx_YY.NO-SUCH-PAGE"));
#ifdef _WIN32
    // Every locale Windows knows is installed; without a code set, its ANSI code page.
    EXPECT_EQ(installedLocaleCodeSet("de_DE"), "CP1252");
    EXPECT_EQ(installedLocaleCodeSet("ja_JP.cp932"), "CP932");
    EXPECT_FALSE(installedLocaleCodeSet("xx_YY"));
#endif
}

}  // namespace
}  // namespace zrk

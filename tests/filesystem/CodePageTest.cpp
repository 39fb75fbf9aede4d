#include "filesystem/CodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "files/ProgramText.h"

namespace zrk {
namespace {

CodePage openOrFail(const std::string& name) {
    std::string error;
    auto page = CodePage::open(name, &error);
    EXPECT_TRUE(page) << error;
    return page ? std::move(*page) : std::move(*CodePage::open("UTF-8", nullptr));
}

TEST(CodePage, RefusesUnknownAndLenientNames) {
    for (const std::string name : {"XYZ", "", "CP1252//IGNORE", "UTF-8//TRANSLIT"}) {
        std::string error;
        EXPECT_FALSE(CodePage::open(name, &error));
        EXPECT_EQ(error, "unknown code page '" + name + "'");
    }
}

TEST(CodePage, ConvertsBothWaysAndRefusesWhatDoesNotConvert) {
    const CodePage cp1252 = openOrFail("CP1252");
    EXPECT_EQ(cp1252.toUtf8("Gr\xFC\xDF"), "Gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(cp1252.fromUtf8("\xC3\x84"), "\xC4");
    EXPECT_FALSE(cp1252.toUtf8("a\x81z"));          // a hole in CP1252
    EXPECT_FALSE(cp1252.fromUtf8("\xED\x95\x9C"));  // Hangul has no CP1252 form
    EXPECT_FALSE(cp1252.fromUtf8("a\xC3"));         // cut-off UTF-8

    const CodePage cp949 = openOrFail("CP949");
    EXPECT_EQ(cp949.fromUtf8("\xED\x95\x9C"), "\xC7\xD1");
    EXPECT_FALSE(cp949.toUtf8("a\xC7"));  // half a double-byte character
    // After a failure the next conversion starts clean.
    EXPECT_EQ(cp949.toUtf8("ab"), "ab");
}

TEST(CodePage, StatefulCodePageReturnsToItsInitialState) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows converts the ISO-2022 pages only without strict checking; they are "
                    "not offered there";
#endif
    const CodePage jis = openOrFail("ISO-2022-JP");
    EXPECT_EQ(jis.fromUtf8("\xE6\x97\xA5"), "\x1B$BF|\x1B(B");  // U+65E5, then back to ASCII
}

TEST(CodePage, MovedFromConvertsNothing) {
    CodePage from = openOrFail("CP1252");
    CodePage to = std::move(from);
    EXPECT_EQ(to.toUtf8("\xC4"), "\xC3\x84");
    EXPECT_FALSE(from.toUtf8("a"));  // NOLINT(bugprone-use-after-move)
    from = std::move(to);
    EXPECT_EQ(from.name(), "CP1252");
}

// What a terminal showing a page's text takes for a control: Latin-1's 0x80..0x9F are C1,
// CP1252's are letters but for its holes, and a page of double-byte characters is judged by its
// ASCII controls only (its second bytes fall in 0x80..0x9F).
TEST(CodePage, EachPageSaysWhichOfItsBytesAreNoPrintableCharacter) {
    const TextEncoding latin1 = textEncodingOf(openOrFail("ISO-8859-1"));
    ASSERT_EQ(latin1.kind, TextEncoding::Kind::SingleByte);
    EXPECT_EQ(printableName("c1\x9B"
                            "2J Gr\xFC\xDF"
                            "e",
                            latin1),
              "c1\\x9B2J Gr\xFC\xDF"
              "e");
    const TextEncoding cp1252 = textEncodingOf(openOrFail("CP1252"));
    EXPECT_EQ(printableName("\x80\x81\x9B", cp1252), "\x80\\x81\x9B");
    EXPECT_EQ(textEncodingOf(openOrFail("CP949")).kind, TextEncoding::Kind::MultiByte);
    EXPECT_EQ(printableName("\xB0\x9B\x1B", textEncodingOf(openOrFail("CP949"))), "\xB0\x9B\\x1B");
    EXPECT_EQ(textEncodingOf(openOrFail("UTF-8")).kind, TextEncoding::Kind::Utf8);
    EXPECT_EQ(textEncodingOf(openOrFail("ANSI_X3.4-1968")).kind, TextEncoding::Kind::Utf8);
}

TEST(LocaleCodePage, FromLocaleNameOrEnvironment) {
    EXPECT_EQ(codePageOfLocale("C"), "ANSI_X3.4-1968");
    EXPECT_EQ(codePageOfLocale("POSIX"), "ANSI_X3.4-1968");
    EXPECT_EQ(codePageOfLocale("C.UTF-8"), "UTF-8");
    // Not installed: the codeset written in the name.
    EXPECT_EQ(codePageOfLocale("ko_KR.CP949"), "CP949");
    EXPECT_EQ(codePageOfLocale("de_DE.ISO-8859-15@euro"), "ISO-8859-15");
    EXPECT_EQ(codePageOfLocale("xx_YY"), "UTF-8");

#ifdef _WIN32
    // Windows keeps no locale in the environment: the ANSI code page decides, whatever LANG says.
    ::_putenv_s("LANG", "C.UTF-8");
    EXPECT_EQ(localeCodePageName(), systemAnsiCodePage().value_or("none"));
    const std::string page = localeCodePageName();
    EXPECT_TRUE(page == "UTF-8" || (page.rfind("CP", 0) == 0 && CodePage::open(page, nullptr)))
        << page;
    ::_putenv_s("LANG", "");
#else
    // Empty counts as not set; nothing set at all is UTF-8.
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i)
        if (const char* value = std::getenv(names[i]))
            saved[i] = value;
    ::setenv("LC_ALL", "", 1);
    ::setenv("LC_CTYPE", "C", 1);
    ::setenv("LANG", "C.UTF-8", 1);
    EXPECT_EQ(localeCodePageName(), "ANSI_X3.4-1968");
    for (int i = 0; i < 3; ++i)
        ::unsetenv(names[i]);
    EXPECT_EQ(localeCodePageName(), "UTF-8");
    for (int i = 0; i < 3; ++i)
        if (saved[i])
            ::setenv(names[i], saved[i]->c_str(), 1);
#endif
}

}  // namespace
}  // namespace zrk

#include "filesystem/QixUsable.h"

#include <gtest/gtest.h>

#include "engine/DownloaderView.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"
#include "support/QixTestConfig.h"

namespace zrk {
namespace {

const auto open = &test::openCodePage;
const auto config = &test::qixConfig;

// A CP1252 name, which is no UTF-8.
const std::string kForeignFile = "FILE_NAME : /Gr\xFC\xDF.txt\r\nFILE_SIZE : 0\r\n";

TEST(QixUsable, TheLinesAreJudgedBeforeTheNamesAndTheNamesBeforeTheTree) {
    // A bare LF and a foreign name: the line is the one reported, and no name was looked at.
    const QixUsability badLine =
        checkQixUsable(config("DIR_NAME : /a\n" + kForeignFile), open("UTF-8"));
    ASSERT_TRUE(badLine.layout);
    EXPECT_EQ(badLine.layout->line, 2u);
    EXPECT_TRUE(badLine.names.ok());
    EXPECT_FALSE(badLine.ok());

    // A foreign name in a tree that also repeats a path: the name is reported, not the tree,
    // which is only read through names that convert.
    const QixUsability badName =
        checkQixUsable(config("DIR_NAME : /a\r\nDIR_NAME : /a\r\n" + kForeignFile), open("UTF-8"));
    EXPECT_FALSE(badName.layout);
    ASSERT_FALSE(badName.names.ok());
    EXPECT_TRUE(badName.names.problem->unconvertible);
    EXPECT_EQ(badName.names.suggestion, "CP1252");

    // In the code page that fits, the repeated path is what is left.
    const QixUsability badTree =
        checkQixUsable(config("DIR_NAME : /a\r\nDIR_NAME : /a\r\n" + kForeignFile), open("CP1252"));
    EXPECT_TRUE(badTree.names.ok());
    ASSERT_TRUE(badTree.layout);
    EXPECT_EQ(badTree.layout->line, 3u);

    EXPECT_TRUE(checkQixUsable(config("DIR_NAME : /a\r\n" + kForeignFile), open("CP1252")).ok());
}

TEST(QixUsable, AVerdictIsNeverTakenForAnotherTextOrCodePage) {
    // The same text, judged again, again and changed by one byte: each verdict is its own.
    const std::string good = "DIR_NAME : /a\r\nDIR_NAME : /b\r\n";
    const std::string twice = "DIR_NAME : /a\r\nDIR_NAME : /a\r\n";
    EXPECT_TRUE(checkQixUsable(config(good), open("UTF-8")).ok());
    EXPECT_TRUE(checkQixUsable(config(good), open("UTF-8")).ok());
    EXPECT_FALSE(checkQixUsable(config(twice), open("UTF-8")).ok());
    EXPECT_TRUE(checkQixUsable(config(good), open("UTF-8")).ok());
    // A name that converts in one code page only.
    EXPECT_FALSE(checkQixUsable(config(kForeignFile), open("UTF-8")).ok());
    EXPECT_TRUE(checkQixUsable(config(kForeignFile), open("CP1252")).ok());
    EXPECT_FALSE(checkQixUsable(config(kForeignFile), open("UTF-8")).ok());
}

TEST(QixUsable, TheChosenCodePageIsUsedAndNoneMeansTheLocalOne) {
    UserChoices choices;
    EXPECT_EQ(qixCodePageInUse(choices), localeCodePageName());
    choices.codePage = "CP1252";
    EXPECT_EQ(qixCodePageInUse(choices), "CP1252");
}

}  // namespace
}  // namespace zrk

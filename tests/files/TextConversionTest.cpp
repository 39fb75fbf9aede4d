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

TEST(TextConversion, InstalledLocaleCodeSet) {
    EXPECT_EQ(installedLocaleCodeSet("C.UTF-8"), "UTF-8");
    EXPECT_FALSE(installedLocaleCodeSet(""));  // never the environment's own locale
    EXPECT_FALSE(installedLocaleCodeSet("xx_YY.NO-SUCH-PAGE"));
}

}  // namespace
}  // namespace zrk

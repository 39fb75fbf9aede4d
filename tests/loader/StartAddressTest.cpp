#include "engine/StartAddress.h"

#include <gtest/gtest.h>

namespace zrk {
namespace {

// The field's texts that reach the download are tested there; these are the reader's limits.
TEST(StartAddress, TakesTheFirstLineAndAtMostSixteenCharacters) {
    EXPECT_EQ(parseStartAddress("0X11ff0000"), 0x11FF0000u);
    EXPECT_EQ(parseStartAddress(""), 0u);
    EXPECT_EQ(parseStartAddress("0x"), 0u);
    EXPECT_EQ(parseStartAddress("10030000\r\n20000000"), 0x10030000u);
    EXPECT_EQ(parseStartAddress("1003\n0000"), 0x1003u);
    // Sixteen digits fit; the seventeenth is not read, so nothing wraps into the valid range.
    EXPECT_EQ(parseStartAddress("0000000010000000"), 0x10000000u);
    EXPECT_EQ(parseStartAddress("00000000100000001"), 0x10000000u);
    EXPECT_EQ(parseStartAddress("FFFFFFFF10000000"), 0xFFFFFFFF10000000u);
}

}  // namespace
}  // namespace zrk

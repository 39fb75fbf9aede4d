#include "engine/TextFormat.h"

#include <gtest/gtest.h>

namespace zrk {
namespace {

// A line fits the room on the stack; a longer text (a long path in a failure) must come out
// whole, not cut at that room, whatever side of it its length falls.
TEST(TextFormat, TextsOfEveryLengthComeOutWhole) {
    EXPECT_EQ(formatText("Bad response(0x%X) from KEPLA Chip\r\n", 0x4Fu),
              "Bad response(0x4F) from KEPLA Chip\r\n");
    EXPECT_EQ(formatText("%s", ""), "");
    for (const std::size_t length : {254u, 255u, 256u, 257u, 4000u}) {
        const std::string path(length, 'p');
        const std::string text = formatText("Fail to open %s!", path.c_str());
        EXPECT_EQ(text, "Fail to open " + path + "!") << length;
    }
}

}  // namespace
}  // namespace zrk

// One file read back against its bytes in the image: where the first difference is, past the
// first chunk too, and what a short image or a short read-back is called.
#include <gtest/gtest.h>

#include "engine/OpenFile.h"
#include "filesystem/ReadBackCompare.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = ReadBackComparison::Kind;

Bytes pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

TEST(ReadBackCompare, NamesTheFirstDifferingByteAcrossChunksAndReadsTheImageOn) {
    test::TempDir dir;
    Bytes image = pattern(20000);
    OpenFile in;
    ASSERT_TRUE(in.openForReading(dir.write("image", image)));

    // The first file is the image's first 10000 bytes, read back whole.
    const Bytes first(image.begin(), image.begin() + 10000);
    EXPECT_EQ(compareReadBack(in, dir.write("a", first), 10000).kind, Kind::Same);

    // The second starts where the first ended; it differs in its second chunk.
    Bytes second(image.begin() + 10000, image.end());
    second[9000] ^= 0xFF;
    const ReadBackComparison c = compareReadBack(in, dir.write("b", second), 10000);
    EXPECT_EQ(c.kind, Kind::Differs);
    EXPECT_EQ(c.offset, 9000u);
    EXPECT_EQ(c.expected, image[19000]);
    EXPECT_EQ(c.read, second[9000]);
}

TEST(ReadBackCompare, ShortFilesAndAMissingReadBackAreToldApart) {
    test::TempDir dir;
    OpenFile in;
    ASSERT_TRUE(in.openForReading(dir.write("image", pattern(100))));
    const ReadBackComparison shortRead = compareReadBack(in, dir.write("a", pattern(99)), 100);
    EXPECT_EQ(shortRead.kind, Kind::SizeDiffers);
    EXPECT_EQ(shortRead.readSize, 99u);
    // The image holds 100 bytes; a file of 150 cannot be found in it.
    EXPECT_EQ(compareReadBack(in, dir.write("b", pattern(150)), 150).kind, Kind::ImageShort);
    EXPECT_EQ(compareReadBack(in, dir.file("none"), 1).kind, Kind::Unreadable);
}

}  // namespace
}  // namespace zrk

// The explorer's file status record and its report, and the paths of tree nodes.
#include <gtest/gtest.h>

#include "filesystem/explorer/ExplorerEngine.h"

namespace zrk {
namespace {

TEST(FileStatusRecord, DecodesBigEndianFieldsAndPrintsThePackedDates) {
    const std::uint8_t bytes[28] = {0x00, 0x00, 0x81, 0xFF, 0x00, 0x00, 0x00, 0x2A,  // mode, inode
                                    0x80, 0x00, 0xFF, 0xFE,                          // dev, dummy
                                    0x00, 0x01, 0x00, 0x01,                          // size
                                    0x00, 0x00, 0x5A, 0x6B,                          // access
                                    0x5A, 0x6B, 0x7C, 0x3D,                          // modified
                                    0x00, 0x21, 0x00, 0x00};                         // changed
    const FileStatusRecord r = FileStatusRecord::decode(bytes);
    EXPECT_EQ(r.mode, 0x81FFu);
    EXPECT_EQ(r.inode, 42u);
    EXPECT_EQ(r.deviceId, -32768);
    EXPECT_EQ(r.size, 65537);
    const auto lines = r.report();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "\n*File mode : 0x81ff \r\n");
    EXPECT_EQ(lines[2], "*File dev ID: 0xffff8000 \r\n");
    EXPECT_EQ(lines[3], "*File dummy entry : 0xfffffffe \r\n");
    EXPECT_EQ(lines[4], "*File size : 65537 byte\r\n");
    EXPECT_EQ(lines[5], "*File last access time : 0x5a6b \r\n");
    EXPECT_EQ(lines[6], "2025:03:11 \r\n");
    EXPECT_EQ(lines[7], "*File last modification time : 0x5a6b7c3d \r\n");
    EXPECT_EQ(lines[8], "2025:03:11 15:33:29 \r\n");
    // Only the date bits set: midnight on 1 January 1980.
    EXPECT_EQ(lines[10], "1980:01:01 00:00:00 \r\n");
}

TEST(FileStatusRecord, AnAccessDateCountsEveryHigherBitIntoTheYear) {
    std::uint8_t bytes[28] = {};
    bytes[16] = 0x01;  // bit 24: far above the 16-bit date
    bytes[19] = 0x21;  // month 1, day 1
    EXPECT_EQ(FileStatusRecord::decode(bytes).report()[6], "34748:01:01 \r\n");
}

TEST(ExplorerNodePath, JoinsTextsWithOneSeparatorEach) {
    EXPECT_EQ(explorerNodePath({"/"}), "/");
    EXPECT_EQ(explorerNodePath({"/", "user"}), "/user");
    EXPECT_EQ(explorerNodePath({"/", "a", "b", "c"}), "/a/b/c");
    EXPECT_EQ(explorerNodePath({"/", "a/", "b"}), "/a/b");
}

}  // namespace
}  // namespace zrk

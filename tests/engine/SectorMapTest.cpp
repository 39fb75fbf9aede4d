#include "engine/SectorMap.h"

#include <gtest/gtest.h>

namespace zrk {
namespace {

TEST(SectorMap, IsInactiveUntilTheFlashIsIdentified) {
    SectorMap map;
    EXPECT_EQ(map.count(), 0);
    EXPECT_EQ(map.indexAtOffset(0), -1);
    EXPECT_EQ(map.sizeClassAt(0), SectorSizeClass::NoSector);
    map.activate();
    EXPECT_EQ(map.count(), 519);
}

TEST(SectorMap, LayoutOfTheTopBootFlash) {
    SectorMap map;
    map.activate();
    EXPECT_EQ(map[0].byteOffset(), 0u);
    EXPECT_EQ(map[510].byteOffset(), 0x1FE0000u);
    EXPECT_EQ(map[510].byteSize(), 0x10000u);
    EXPECT_EQ(map[511].byteOffset(), 0x1FF0000u);
    EXPECT_EQ(map[518].byteOffset(), 0x1FFE000u);
    EXPECT_EQ(map[518].byteSize(), 0x2000u);
    EXPECT_EQ(map[518].byteOffset() + map[518].byteSize(), 32u << 20);
}

TEST(SectorMap, LooksUpSectorStartsOnly) {
    SectorMap map;
    map.activate();
    EXPECT_EQ(map.indexAtOffset(0), 0);
    EXPECT_EQ(map.indexAtOffset(0x20000), 2);
    EXPECT_EQ(map.indexAtOffset(0x1FF0000), 511);
    EXPECT_EQ(map.indexAtOffset(0x1FF2000), 512);
    EXPECT_EQ(map.indexAtOffset(0x1FF1000), -1);
    EXPECT_EQ(map.indexAtOffset(32u << 20), -1);
    EXPECT_EQ(map.sizeClassAt(0x10000), SectorSizeClass::Size64K);
    EXPECT_EQ(map.sizeClassAt(0x1FFE000), SectorSizeClass::Other);
    EXPECT_EQ(map.sizeClassAt(0x1FF1000), SectorSizeClass::NoSector);
}

}  // namespace
}  // namespace zrk

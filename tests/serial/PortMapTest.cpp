#include "serial/PortMap.h"

#include <gtest/gtest.h>

namespace zrk {
namespace {

TEST(PortMap, NamesMapToSerialDevicesUnlessOverridden) {
    PortMap map;
    EXPECT_EQ(map.device(1), "/dev/ttyS0");
    EXPECT_EQ(map.device(20), "/dev/ttyS19");
    map.setDevice(3, "/dev/ttyUSB0");
    EXPECT_EQ(map.device(3), "/dev/ttyUSB0");
    EXPECT_TRUE(map.isOverridden(3));
    map.setDevice(3, "");
    EXPECT_EQ(map.device(3), "/dev/ttyS2");
}

TEST(PortMap, ParsesOnlyTheOfferedNames) {
    EXPECT_EQ(PortMap::parsePortName("COM1"), 1);
    EXPECT_EQ(PortMap::parsePortName("com20"), 20);
    EXPECT_EQ(PortMap::parsePortName("COM21"), std::nullopt);
    EXPECT_EQ(PortMap::parsePortName("COM0"), std::nullopt);
    EXPECT_EQ(PortMap::parsePortName("COM01"), std::nullopt);
    EXPECT_EQ(PortMap::parsePortName("/dev/ttyS0"), std::nullopt);
    EXPECT_EQ(PortMap::portName(7), "COM7");
}

}  // namespace
}  // namespace zrk

#include "serial/PortMap.h"

#include <gtest/gtest.h>

namespace zrk {
namespace {

TEST(PortMap, NamesMapToSerialDevicesUnlessOverridden) {
    PortMap map;
    EXPECT_EQ(map.device(1), systemPortDevice(1));
    EXPECT_EQ(map.device(20), systemPortDevice(20));
    map.setDevice(3, "/dev/ttyUSB0");
    EXPECT_EQ(map.device(3), "/dev/ttyUSB0");
    EXPECT_TRUE(map.isOverridden(3));
    map.setDevice(3, "");
    EXPECT_EQ(map.device(3), systemPortDevice(3));
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

SerialDevice device(const std::string& path, SerialKind kind, const std::string& serial = "",
                    const std::string& usbPath = "") {
    SerialDevice d;
    d.path = path;
    d.kind = kind;
    if (kind == SerialKind::Usb || kind == SerialKind::Acm) {
        d.usb = UsbIdentity{};
        d.usb->serial = serial;
        d.usb->usbPath = usbPath;
        d.usb->interfaceNumber = "00";
    }
    return d;
}

TEST(PortMap, AnAdapterPluggedInGetsTheFirstFreeNameAndKeepsItWhereverItComesBack) {
    PortMap map;
    map.setDevice(2, "/dev/ttyUSB7");  // set by hand
    const SerialDevice onBoard = device(systemPortDevice(1), SerialKind::OnBoard);
    const SerialDevice ftdi = device("/dev/ttyUSB0", SerialKind::Usb, "A5XK3RJ", "1-2:1.0");
    const SerialDevice board = device("/dev/ttyACM0", SerialKind::Acm, "", "1-1.4:1.0");
    const SerialDevice terminal = device("/dev/pts/3", SerialKind::PseudoTerminal);

    // COM1 is the on-board port's, COM2 the hand-set one: the adapters get COM3 and COM4;
    // a terminal window is no adapter.
    EXPECT_EQ(map.nameNewAdapters({onBoard, ftdi, board, terminal}), (std::vector<int>{3, 4}));
    EXPECT_EQ(map.device(3), "/dev/ttyUSB0");
    EXPECT_EQ(map.adapter(3), "serial=A5XK3RJ:00");
    EXPECT_EQ(map.device(4), "/dev/ttyACM0");
    EXPECT_EQ(map.adapter(4), "usb=1-1.4:1.0");
    EXPECT_EQ(map.nameOf("/dev/ttyACM0"), 4);
    // Named once: a second look names nothing.
    EXPECT_TRUE(map.nameNewAdapters({onBoard, ftdi, board}).empty());

    // Plugged in again after another adapter took its old path: the name follows the serial
    // number, and the newcomer gets a name of its own.
    const SerialDevice ftdiBack = device("/dev/ttyUSB1", SerialKind::Usb, "A5XK3RJ", "1-3:1.0");
    const SerialDevice other = device("/dev/ttyUSB0", SerialKind::Usb, "Q9", "1-2:1.0");
    EXPECT_EQ(map.follow({onBoard, other, ftdiBack}), (std::vector<int>{3}));
    EXPECT_EQ(map.device(3), "/dev/ttyUSB1");
    EXPECT_EQ(map.nameNewAdapters({other, ftdiBack}), (std::vector<int>{1}));
    EXPECT_EQ(map.device(1), "/dev/ttyUSB0") << "without the on-board port COM1 is free";

    // Setting a device by hand ends the binding.
    map.setDevice(3, "/dev/ttyS4");
    EXPECT_EQ(map.adapter(3), "");
    EXPECT_TRUE(map.follow({ftdiBack}).empty());
}

}  // namespace
}  // namespace zrk

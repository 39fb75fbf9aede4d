// The catalogue of serial devices on a machine built for the test (sysfs and /dev in a
// temporary folder) and on this machine, where a pseudo-terminal stands in for a cable.
#include "serial/SerialDevices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "serial/PseudoTerminal.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A machine with one fitted UART and one that is not, two USB adapters (one without a serial
// number), a virtual console, and two terminal windows.
class FakeMachine {
  public:
    FakeMachine() {
        for (const char* name : {"ttyS0", "ttyS1", "tty5", "ttyUSB0", "ttyACM0", "null"})
            writeFile(dev() / name, "");
        writeFile(dev() / "pts/ptmx", "");
        writeFile(dev() / "pts/0", "");
        writeFile(dev() / "pts/12", "");
        onBoard("ttyS0", 4);
        onBoard("ttyS1", 0);
        writeFile(sys() / "class/tty/tty5/dev", "4:5\n");  // a console: no device behind it
        usbPort("ttyUSB0", "1-2", "1-2:1.0/ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART",
                "A5XK3RJ");
        usbPort("ttyACM0", "1-1.4", "1-1.4:1.2", "2e8a", "000a", "", "", "");
    }

    fs::path sys() const { return fs::path(m_Dir.file("sys")); }
    fs::path dev() const { return fs::path(m_Dir.file("dev")); }
    SerialRoots roots() const { return {sys().string(), dev().string()}; }

  private:
    void onBoard(const std::string& name, int type) {
        const fs::path tty = sys() / "devices/platform/serial8250/tty" / name;
        writeFile(tty / "type", std::to_string(type) + "\n");
        fs::create_directories(sys() / "class/tty");
        fs::create_symlink(sys() / "devices/platform/serial8250", tty / "device");
        fs::create_symlink(tty, sys() / "class/tty" / name);
    }
    // interfacePart: the path below the USB device to the tty's device ("1-2:1.0/ttyUSB0"
    // for a usb-serial port, the interface itself for ACM).
    void usbPort(const std::string& name, const std::string& usbPath,
                 const std::string& interfacePart, const std::string& vendor,
                 const std::string& product, const std::string& maker, const std::string& what,
                 const std::string& serial) {
        const fs::path usb = sys() / "devices/pci0000:00/0000:00:14.0/usb1" / usbPath;
        writeFile(usb / "idVendor", vendor + "\n");
        writeFile(usb / "idProduct", product + "\n");
        if (!maker.empty())
            writeFile(usb / "manufacturer", maker + "\n");
        if (!what.empty())
            writeFile(usb / "product", what + "\n");
        if (!serial.empty())
            writeFile(usb / "serial", serial + "\n");
        const fs::path port = usb / interfacePart;
        fs::create_directories(port / "tty" / name);
        fs::create_symlink(port, port / "tty" / name / "device");
        fs::create_directories(sys() / "class/tty");
        fs::create_symlink(port / "tty" / name, sys() / "class/tty" / name);
    }

    test::TempDir m_Dir;
};

std::vector<std::string> paths(const std::vector<SerialDevice>& devices) {
    std::vector<std::string> result;
    for (const SerialDevice& d : devices)
        result.push_back(d.path);
    return result;
}

TEST(SerialDevices, AFakeMachineIsReadFromSysfsAndDev) {
    const FakeMachine machine;
    const std::string dev = machine.dev().string();
    const auto devices = listSerialDevices(machine.roots());
    // The unfitted UART, the console, ptmx and /dev/null are not serial ports; the order is
    // on-board, USB, pseudo-terminals.
    EXPECT_EQ(paths(devices),
              (std::vector<std::string>{dev + "/ttyS0", dev + "/ttyACM0", dev + "/ttyUSB0",
                                        dev + "/pts/0", dev + "/pts/12"}));
    ASSERT_EQ(devices.size(), 5u);
    EXPECT_EQ(devices[0].kind, SerialKind::OnBoard);
    EXPECT_FALSE(devices[0].usb);
    EXPECT_EQ(identityText(devices[0]), "on-board");

    const SerialDevice& ftdi = devices[2];
    EXPECT_EQ(ftdi.kind, SerialKind::Usb);
    ASSERT_TRUE(ftdi.usb);
    EXPECT_EQ(ftdi.usb->usbPath, "1-2:1.0");
    EXPECT_EQ(identityText(ftdi), "FTDI FT232R USB UART  A5XK3RJ");
    EXPECT_EQ(adapterKey(ftdi), "serial=A5XK3RJ:00");

    // Without a serial number (or names) the socket it is plugged into names it.
    const SerialDevice& acm = devices[1];
    EXPECT_EQ(acm.kind, SerialKind::Acm);
    EXPECT_EQ(identityText(acm), "ACM 2e8a:000a");
    EXPECT_EQ(adapterKey(acm), "usb=1-1.4:1.2");

    EXPECT_EQ(devices[3].kind, SerialKind::PseudoTerminal);
    EXPECT_EQ(adapterKey(devices[3]), "");
    EXPECT_EQ(paths(usbAdapters(devices)),
              (std::vector<std::string>{dev + "/ttyACM0", dev + "/ttyUSB0"}));
    // Plain files are not devices anyone could open as a port.
    EXPECT_FALSE(ftdi.mayOpen);
}

TEST(SerialDevices, NumbersSortAsCountedAndAnAdaptersOwnTextsCannotDriveTheTerminal) {
    const FakeMachine machine;
    for (const char* name : {"ttyUSB10", "ttyUSB2"})
        writeFile(machine.dev() / name, "");
    const std::string dev = machine.dev().string();
    const auto adapters = usbAdapters(listSerialDevices(machine.roots()));
    EXPECT_EQ(paths(adapters), (std::vector<std::string>{dev + "/ttyACM0", dev + "/ttyUSB0",
                                                         dev + "/ttyUSB2", dev + "/ttyUSB10"}));
    SerialDevice forged;
    forged.kind = SerialKind::Usb;
    forged.usb = UsbIdentity{};
    forged.usb->product = "Cable\x1b]0;owned\x07";
    EXPECT_EQ(identityText(forged), "Cable?]0;owned?");
}

TEST(SerialDevices, ThisMachinesCatalogueHoldsAnOpenPseudoTerminal) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    const auto devices = listSerialDevices();
    const auto found = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& d) {
        return d.path == pty.slavePath();
    });
    ASSERT_NE(found, devices.end()) << pty.slavePath();
    EXPECT_EQ(found->kind, SerialKind::PseudoTerminal);
    EXPECT_TRUE(found->mayOpen);
    // Whatever else this machine has is there to be opened.
    for (const SerialDevice& d : devices)
        EXPECT_TRUE(fs::exists(d.path)) << d.path;
}

}  // namespace
}  // namespace zrk

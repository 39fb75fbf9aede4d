// zrk410 ports and --port auto: the listing and the choice of the one adapter on devices made
// for the test, and the real command on this machine, where a pseudo-terminal stands in.
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"
#include "cli/PortsCommand.h"
#include "serial/PseudoTerminal.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;

SerialDevice adapter(const std::string& path, const std::string& serial, bool mayOpen = true) {
    SerialDevice d;
    d.path = path;
    d.kind = SerialKind::Usb;
    d.usb = UsbIdentity{};
    d.usb->manufacturer = "FTDI";
    d.usb->product = "FT232R USB UART";
    d.usb->serial = serial;
    d.usb->usbPath = "1-2:1.0";
    d.mayOpen = mayOpen;
    return d;
}

SerialDevice terminal(const std::string& path) {
    SerialDevice d;
    d.path = path;
    d.kind = SerialKind::PseudoTerminal;
    d.mayOpen = true;
    return d;
}

TEST(Ports, EachDeviceWithItsNameIdentityAndWhetherItMayBeOpened) {
    PortMap ports;
    ports.setDevice(3, "/dev/ttyUSB0");
    const auto lines = portsListing(
        ports, {adapter("/dev/ttyUSB0", "A5XK3RJ"), adapter("/nonexistent/ttyUSB1", "B71", false),
                terminal("/dev/pts/2"), terminal("/dev/pts/5")});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "COM3  /dev/ttyUSB0  FTDI FT232R USB UART  A5XK3RJ  (USB 1-2:1.0)  you may open it");
    EXPECT_EQ(lines[1].rfind("-  /nonexistent/ttyUSB1  FTDI FT232R USB UART  B71", 0), 0u)
        << lines[1];
    EXPECT_NE(lines[1].find("you may not open it"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2].rfind("pseudo-terminals", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find("/dev/pts/2, /dev/pts/5"), std::string::npos) << lines[2];

    EXPECT_EQ(portsListing(ports, {}),
              (std::vector<std::string>{"no serial device is present: plug in the cable (a USB "
                                        "adapter appears as /dev/ttyUSB* or /dev/ttyACM*)"}));
}

TEST(Ports, ADeviceThatIsItsOwnComNameIsNamedOnce) {
    // Windows' ports are their names; from COM10 on they open only as \\.\COMn.
    PortMap ports;
    ports.setDevice(4, "COM4");
    ports.setDevice(12, "\\\\.\\COM12");
    SerialDevice four;
    four.path = "COM4";
    four.mayOpen = true;
    SerialDevice twelve = adapter("\\\\.\\COM12", "A5");
    const auto lines = portsListing(ports, {four, twelve});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "COM4  on-board  you may open it");
    EXPECT_EQ(lines[1].rfind("COM12  FTDI FT232R USB UART  A5", 0), 0u) << lines[1];
    EXPECT_EQ(portLine(ports, four), "COM4  on-board");
    // A device standing for another name keeps both: the mapping is the news.
    EXPECT_EQ(nameAndDevice(5, "COM4"), "COM5  COM4");
}

TEST(Ports, AutoTakesTheOneAdapterAndRefusesNoneOrSeveralWithTheList) {
    PortMap ports;
    std::string problem;
    EXPECT_EQ(
        autoPortDevice(ports, {terminal("/dev/pts/2"), adapter("/dev/ttyUSB4", "A5")}, &problem),
        "/dev/ttyUSB4");

    EXPECT_EQ(autoPortDevice(ports, {terminal("/dev/pts/2")}, &problem), "");
    EXPECT_EQ(problem, "--port auto: no USB serial adapter is present; plug in the cable");

    ports.setDevice(2, "/dev/ttyUSB0");
    EXPECT_EQ(autoPortDevice(ports, {adapter("/dev/ttyUSB0", "A5"), adapter("/dev/ttyUSB1", "B7")},
                             &problem),
              "");
    EXPECT_EQ(problem,
              "--port auto: 2 USB serial adapters are present; give one with --port COMn or its "
              "path:\n  COM2  /dev/ttyUSB0  FTDI FT232R USB UART  A5\n"
              "  /dev/ttyUSB1  FTDI FT232R USB UART  B7");
}

TEST(PortsRun, ThisMachinesDevicesAreListedWithAnOpenPseudoTerminal) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    ChildProcess child(ZRK410_EXE, {"ports"});
    ASSERT_EQ(child.wait(), EXIT_OK) << child.out() << child.err();
    const std::string out = child.out();
    EXPECT_NE(out.find("pseudo-terminals"), std::string::npos) << out;
    EXPECT_NE(out.find(pty.slavePath()), std::string::npos) << out;

    ChildProcess help(ZRK410_EXE, {"--help"});
    ASSERT_EQ(help.wait(), EXIT_OK);
    EXPECT_NE(help.out().find("ports"), std::string::npos);
}

TEST(PortsRun, AutoWithoutExactlyOneAdapterIsRefusedWithTheList) {
    ChildProcess listing(ZRK410_EXE, {"ports"});
    ASSERT_EQ(listing.wait(), EXIT_OK);
    // This machine's cables decide which refusal applies; with exactly one there is none.
    const std::string out = listing.out();
    std::size_t adapters = 0;
    for (auto at = out.find("  (USB "); at != std::string::npos; at = out.find("  (USB ", at + 1))
        ++adapters;
    if (adapters == 1)
        GTEST_SKIP() << "one USB adapter is plugged in here";
    ChildProcess child(ZRK410_EXE, {"--port", "auto", "--timeout", "1", "identify"});
    ASSERT_EQ(child.wait(), EXIT_USAGE) << child.out() << child.err();
    EXPECT_NE(child.err().find("--port auto: "), std::string::npos) << child.err();
    EXPECT_NE(child.err().find(adapters == 0 ? "no USB serial adapter is present"
                                             : "USB serial adapters are present"),
              std::string::npos)
        << child.err();
}

TEST(PortsRun, APortWhoseDeviceIsMissingNamesTheDevicesPresent) {
    ChildProcess child(ZRK410_EXE, {"--port", "/dev/ttyUSB97", "--timeout", "1", "identify"});
    ASSERT_EQ(child.wait(), EXIT_PORT_OR_FILE) << child.out() << child.err();
    const std::string err = child.err();
    EXPECT_NE(err.find("/dev/ttyUSB97 does not exist"), std::string::npos) << err;
    EXPECT_TRUE(err.find("the serial devices present:") != std::string::npos ||
                err.find("no serial device is present") != std::string::npos)
        << err;
    EXPECT_NE(err.find("zrk410 ports"), std::string::npos) << err;
}

}  // namespace
}  // namespace zrk::cli

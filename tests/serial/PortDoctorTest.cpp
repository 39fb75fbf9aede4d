// The doctor's findings on real objects: a pseudo-terminal, a missing path, a file the user
// may not open, a port another process holds; and on sysfs and /proc trees made for the test.
#include "serial/PortDoctor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "serial/PseudoTerminal.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

bool has(const PortDiagnosis& d, Finding::Kind kind, const std::string& words) {
    return std::any_of(d.findings.begin(), d.findings.end(), [&](const Finding& f) {
        return f.kind == kind && f.text.find(words) != std::string::npos;
    });
}

std::string allText(const PortDiagnosis& d) {
    std::string text;
    for (const Finding& f : d.findings)
        text += f.text + "\n";
    return text;
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

TEST(PortDoctor, APseudoTerminalIsUsableAndSaysWhatItIs) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    const PortDiagnosis d = diagnosePort(pty.slavePath(), DoctorSetting::forThisUser());
    EXPECT_TRUE(d.exists);
    EXPECT_TRUE(d.usable) << allText(d);
    EXPECT_TRUE(has(d, Finding::Kind::Fact, "owner ")) << allText(d);
    EXPECT_TRUE(has(d, Finding::Kind::Fact, "may read and write it")) << allText(d);
    EXPECT_TRUE(has(d, Finding::Kind::Fact, "pseudo-terminal")) << allText(d);
    EXPECT_TRUE(has(d, Finding::Kind::Fact, "no other process has it open")) << allText(d);
    EXPECT_TRUE(has(d, Finding::Kind::Fact, "it opens as a serial line")) << allText(d);
    EXPECT_FALSE(d.usb);
}

TEST(PortDoctor, AMissingPathOrABrokenLinkIsOneProblem) {
    test::TempDir dir;
    const PortDiagnosis missing = diagnosePort(dir.file("ttyUSB3"), DoctorSetting::forThisUser());
    EXPECT_FALSE(missing.exists);
    EXPECT_FALSE(missing.usable);
    ASSERT_EQ(missing.findings.size(), 1u);
    EXPECT_TRUE(has(missing, Finding::Kind::Problem, "does not exist"));
    // A USB adapter's name is the one that moves when it is plugged in again.
    EXPECT_TRUE(has(missing, Finding::Kind::Problem, "another name"));

    fs::create_symlink(dir.file("gone"), dir.file("link"));
    const PortDiagnosis broken = diagnosePort(dir.file("link"), DoctorSetting::forThisUser());
    EXPECT_FALSE(broken.usable);
    EXPECT_TRUE(has(broken, Finding::Kind::Problem, "a link to " + dir.file("gone")));
}

// The tests run as root, whom every mode lets in, so the doctor answers for the user 'nobody'
// through the identity it is given (the same path a real user's check takes) instead of the
// test dropping its own privileges: the mode logic is tested, and nothing depends on which
// folders nobody could reach.
TEST(PortDoctor, AFileTheUserMayNotOpenNamesTheUserAndTheFix) {
    DoctorSetting setting;
    if (!identityOfUser("nobody", &setting.identity))
        GTEST_SKIP() << "no user 'nobody' here";
    test::TempDir dir;
    const std::string path = dir.write("ttyFAKE", {1, 2, 3});
    ASSERT_EQ(::chown(path.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    PortDiagnosis d = diagnosePort(path, setting);
    EXPECT_FALSE(d.usable);
    EXPECT_TRUE(has(d, Finding::Kind::Fact, "owner root, group root, mode -rw-------"))
        << allText(d);
    EXPECT_TRUE(has(d, Finding::Kind::Problem, "nobody may not open it")) << allText(d);
    EXPECT_TRUE(has(d, Finding::Kind::Problem, "not a character device")) << allText(d);

    // A group that may use it: joining that group is the fix, with the command for it.
    const gid_t dialout = 20;  // Debian's fixed number for the serial ports' group
    ASSERT_EQ(::chown(path.c_str(), 0, dialout), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    d = diagnosePort(path, setting);
    const std::string name = groupName(dialout);
    EXPECT_TRUE(has(d, Finding::Kind::Problem,
                    "join the group " + name + " with: sudo adduser nobody " + name +
                        ", then log out and in again"))
        << allText(d);

    // Everyone may: nobody too.
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    d = diagnosePort(path, setting);
    EXPECT_TRUE(has(d, Finding::Kind::Fact, "nobody may read and write it")) << allText(d);
}

// The fix for a device its group may not use hands it to the serial ports' group; opening it
// to every account on the machine would let any of them talk to the phone or listen in.
TEST(PortDoctor, TheFixForADeviceNoGroupMayUseIsAGroupRuleNeverWorldWritable) {
    DoctorSetting setting;
    if (!identityOfUser("nobody", &setting.identity))
        GTEST_SKIP() << "no user 'nobody' here";
    test::TempDir dir;
    const std::string path = dir.write("ttyUSB7", {1});
    ASSERT_EQ(::chown(path.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const std::string text = allText(diagnosePort(path, setting));
    EXPECT_NE(text.find("GROUP=\"dialout\", MODE=\"0660\""), std::string::npos) << text;
    EXPECT_NE(text.find("sudo adduser nobody dialout"), std::string::npos) << text;
    for (const char* open : {"a+rw", "o+rw", "MODE=\"0666\"", "chmod 666", "chmod 0666"})
        EXPECT_EQ(text.find(open), std::string::npos) << open << " in " << text;
}

TEST(PortDoctor, APortAnotherProcessHoldsNamesThatProcess) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.open());
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        ::close(ready[0]);
        ::close(release[1]);  // so that the test's close is the end of the pipe
        const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
        char byte = fd >= 0 ? 'y' : 'n';
        [[maybe_unused]] auto w = ::write(ready[1], &byte, 1);
        [[maybe_unused]] auto r = ::read(release[0], &byte, 1);  // until the test is done
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char opened = 0;
    ASSERT_EQ(::read(ready[0], &opened, 1), 1);
    ASSERT_EQ(opened, 'y');

    const PortDiagnosis d = diagnosePort(pty.slavePath(), DoctorSetting::forThisUser());
    ::close(release[1]);
    ::close(ready[0]);
    int status = 0;
    ::waitpid(holder, &status, 0);

    EXPECT_FALSE(d.usable);
    EXPECT_TRUE(has(d, Finding::Kind::Problem, "process " + std::to_string(holder) + " ("))
        << allText(d);
    // The port is not opened under the holder's feet.
    EXPECT_FALSE(has(d, Finding::Kind::Fact, "it opens as a serial line")) << allText(d);
}

TEST(PortDoctor, TheUsbAdapterIsReadFromSysfs) {
    test::TempDir dir;
    const fs::path sys = dir.file("sys");
    const fs::path usb = sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const fs::path port = usb / "1-2:1.0/ttyUSB0";
    writeFile(usb / "idVendor", "1a86\n");
    writeFile(usb / "idProduct", "7523\n");
    writeFile(usb / "manufacturer", "QinHeng Electronics\n");
    writeFile(usb / "product", "USB Serial\n");
    fs::create_directories(port / "tty/ttyUSB0");
    fs::create_directories(sys / "bus/usb-serial/drivers/ch341-uart");
    fs::create_symlink(sys / "bus/usb-serial/drivers/ch341-uart", port / "driver");
    fs::create_symlink(port, port / "tty/ttyUSB0/device");
    fs::create_directories(sys / "class/tty");
    fs::create_symlink(port / "tty/ttyUSB0", sys / "class/tty/ttyUSB0");

    const auto id = usbIdentityOf("ttyUSB0", sys.string());
    ASSERT_TRUE(id);
    EXPECT_EQ(describeUsbIdentity(*id),
              "1a86:7523 QinHeng Electronics USB Serial, driver ch341-uart");
    // A port without a USB parent (a pseudo-terminal, a built-in UART) has no such identity.
    fs::create_directories(sys / "devices/platform/serial8250/tty/ttyS0");
    fs::create_symlink(sys / "devices/platform/serial8250",
                       sys / "devices/platform/serial8250/tty/ttyS0/device");
    fs::create_symlink(sys / "devices/platform/serial8250/tty/ttyS0", sys / "class/tty/ttyS0");
    EXPECT_FALSE(usbIdentityOf("ttyS0", sys.string()));
    EXPECT_FALSE(usbIdentityOf("ttyUSB9", sys.string()));
}

TEST(PortDoctor, ServicesThatTakeAdaptersAreNamedWithTheirRemedy) {
    test::TempDir dir;
    DoctorSetting setting = DoctorSetting::forThisUser();
    setting.procRoot = dir.file("proc");
    writeFile(fs::path(setting.procRoot) / "1/comm", "systemd\n");
    auto findings = diagnoseServices(setting, std::nullopt);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].kind, Finding::Kind::Fact);
    EXPECT_NE(findings[0].text.find("neither ModemManager nor brltty"), std::string::npos);

    writeFile(fs::path(setting.procRoot) / "612/comm", "ModemManager\n");
    writeFile(fs::path(setting.procRoot) / "733/comm", "brltty\n");
    UsbIdentity usb;
    usb.vendorId = "1a86";
    usb.productId = "7523";
    findings = diagnoseServices(setting, usb);
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].kind, Finding::Kind::Warning);
    EXPECT_NE(findings[0].text.find("ModemManager is running (process 612)"), std::string::npos);
    EXPECT_NE(findings[0].text.find("ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", "
                                    "ENV{ID_MM_DEVICE_IGNORE}=\"1\""),
              std::string::npos);
    EXPECT_NE(findings[1].text.find("brltty is running (process 733)"), std::string::npos);
    EXPECT_NE(findings[1].text.find("systemctl mask brltty"), std::string::npos);
}

TEST(PortDoctor, PresentDevicesSkipSerialNamesWithoutAUart) {
    test::TempDir dir;
    DoctorSetting setting = DoctorSetting::forThisUser();
    setting.devRoot = dir.file("dev");
    setting.sysRoot = dir.file("sys");
    for (const char* name : {"ttyS0", "ttyS1", "ttyUSB1", "tty5", "null"})
        writeFile(fs::path(setting.devRoot) / name, "");
    writeFile(fs::path(setting.sysRoot) / "class/tty/ttyS0/type", "4\n");
    writeFile(fs::path(setting.sysRoot) / "class/tty/ttyS1/type", "0\n");
    fs::create_directories(fs::path(setting.devRoot) / "serial/by-id");
    fs::create_symlink("../../ttyUSB1",
                       fs::path(setting.devRoot) / "serial/by-id/usb-1a86_USB_Serial-if00-port0");
    const std::string dev = setting.devRoot;
    EXPECT_EQ(presentSerialDevices(setting).text,
              "serial devices present: " + dev +
                  "/serial/by-id/usb-1a86_USB_Serial-if00-port0 "
                  "(a stable name for ttyUSB1), " +
                  dev + "/ttyS0, " + dev + "/ttyUSB1");
}

}  // namespace
}  // namespace zrk

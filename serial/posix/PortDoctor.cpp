#include "serial/PortDoctor.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "serial/ProcessScan.h"
#include "serial/SerialDevices.h"

namespace zrk {

namespace fs = std::filesystem;

namespace {

// udev gives USB serial adapters these names; they change when an adapter comes back.
bool looksLikeUsb(const std::string& name) {
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

std::string ttyNameOf(const std::string& device) {
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    return (ec ? fs::path(device) : real).filename().string();
}

// The same steps the downloader takes to own a port, undone at once.
Finding tryOpen(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::string text = std::string("opening it fails: ") + std::strerror(error);
        if (error == EBUSY)
            text += "; another program has it open for itself alone";
        else if (error == EIO || error == ENXIO || error == ENODEV)
            text += "; no serial hardware answers at this name";
        return {Finding::Kind::Problem, text};
    }
    Finding result{Finding::Kind::Fact, "it opens as a serial line"};
    serial_struct serial{};
    if (!::isatty(fd)) {
        result = {Finding::Kind::Problem, "it is not a terminal, so not a serial port"};
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        result = {Finding::Kind::Problem, "another program holds its lock; end that program"};
    } else if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN) {
        result = {Finding::Kind::Problem,
                  "the kernel knows no UART behind it: this serial port is not fitted"};
    }
    ::close(fd);
    return result;
}

// Debian's group for serial ports, the one a udev rule should hand a port to.
constexpr const char* kSerialGroup = "dialout";

// A rule for this device's kernel name; a USB adapter's number changes, so any of its kind.
std::string serialGroupRule(const std::string& device) {
    std::string name = ttyNameOf(device);
    if (looksLikeUsb(name))
        name = name.substr(0, 6) + "*";
    return "KERNEL==\"" + name + "\", GROUP=\"" + kSerialGroup + "\", MODE=\"0660\"";
}

std::string accessFix(const DeviceAccess& access, const Identity& who, const std::string& device) {
    const std::string user = who.userName;
    const std::string group = groupName(access.group);
    if (groupMayReadWrite(access) && access.group != 0) {
        if (isListedMember(who, access.group))
            return user + " is in the group " + group +
                   ", but this login is not yet: log out and in again (or start a shell with "
                   "newgrp " +
                   group + ")";
        return "join the group " + group + " with: sudo adduser " + user + " " + group +
               ", then log out and in again";
    }
    // The port goes to the serial ports' group, never to every account on the machine: anyone
    // who may open it may talk to the phone and read what it says.
    std::string fix =
        "the device's group may not use it; hand it to the group " + std::string(kSerialGroup) +
        ": sudo chgrp " + kSerialGroup + " " + device + " && sudo chmod 0660 " + device +
        " helps until the device is created anew, the udev rule " + serialGroupRule(device) +
        " in /etc/udev/rules.d/99-zrk410.rules for good (then sudo udevadm "
        "control --reload and plug the adapter in again)";
    const std::optional<GroupId> serial = groupNamed(kSerialGroup);
    if (!serial || !isListedMember(who, *serial))
        fix += "; and join the group with: sudo adduser " + user + " " + kSerialGroup +
               ", then log out and in again";
    return fix;
}

void addOwnership(PortDiagnosis& d, const DeviceAccess& access, const DoctorSetting& setting) {
    d.findings.push_back({Finding::Kind::Fact, "owner " + userNameOf(access.owner) + ", group " +
                                                   groupName(access.group) + ", mode " +
                                                   modeText(access)});
    const Identity& who = setting.identity;
    if (mayReadWrite(access, who))
        d.findings.push_back({Finding::Kind::Fact, who.userName + " may read and write it"});
    else
        d.findings.push_back({Finding::Kind::Problem, who.userName + " may not open it: " +
                                                          accessFix(access, who, d.device)});
}

bool addHolders(PortDiagnosis& d, const DoctorSetting& setting) {
    const HolderScan scan = processesHolding(d.device, setting.procRoot);
    for (const ProcessInfo& p : scan.holders)
        d.findings.push_back({Finding::Kind::Problem, "process " + std::to_string(p.pid) + " (" +
                                                          p.name +
                                                          ") has it open; end that program first"});
    if (scan.holders.empty())
        d.findings.push_back({Finding::Kind::Fact,
                              scan.incomplete
                                  ? "no process of yours has it open (other users' processes are "
                                    "visible to root only)"
                                  : "no other process has it open"});
    return !scan.holders.empty();
}

}  // namespace

DoctorSetting DoctorSetting::forThisUser() {
    DoctorSetting setting;
    setting.identity = currentIdentity();
    return setting;
}

PortDiagnosis diagnosePort(const std::string& device, const DoctorSetting& setting) {
    PortDiagnosis d;
    d.device = device;
    const std::optional<DeviceAccess> link = deviceAccess(device, false);
    if (!link) {
        std::string text = "it does not exist";
        if (looksLikeUsb(fs::path(device).filename().string()))
            text += "; a USB adapter that is plugged in again may come back under another name";
        d.findings.push_back({Finding::Kind::Problem, text});
        return d;
    }
    DeviceAccess access = *link;
    if (link->kind == DeviceAccess::Kind::Link) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(device, ec);
        const std::optional<DeviceAccess> followed = deviceAccess(device);
        if (!followed) {
            d.findings.push_back({Finding::Kind::Problem,
                                  "it is a link to " + target.string() + ", which does not exist"});
            return d;
        }
        d.findings.push_back({Finding::Kind::Fact, "it is a link to " + target.string()});
        access = *followed;
    }
    d.exists = true;
    addOwnership(d, access, setting);
    const bool mayOpen = mayReadWrite(access, setting.identity);
    const bool held = addHolders(d, setting);

    const std::string tty = ttyNameOf(device);
    if (access.kind != DeviceAccess::Kind::CharacterDevice) {
        d.findings.push_back(
            {Finding::Kind::Problem, "it is not a character device, so not a serial port"});
    } else {
        std::error_code ec;
        if (fs::canonical(device, ec).parent_path() == fs::path(setting.devRoot) / "pts")
            d.findings.push_back(
                {Finding::Kind::Fact, "it is a pseudo-terminal, such as the phone simulator's"});
        d.usb = usbIdentityOf(tty, setting.sysRoot);
        if (d.usb)
            d.findings.push_back(
                {Finding::Kind::Fact, "USB adapter " + describeUsbIdentity(*d.usb)});
        // Another opener would share the bytes; and a port we may not open has told its story.
        if (mayOpen && !held)
            d.findings.push_back(tryOpen(device));
    }
    d.usable = std::none_of(d.findings.begin(), d.findings.end(),
                            [](const Finding& f) { return f.kind == Finding::Kind::Problem; });
    return d;
}

std::vector<Finding> diagnoseServices(const DoctorSetting& setting,
                                      const std::optional<UsbIdentity>& usb) {
    std::vector<Finding> findings;
    const std::string vendor = usb ? usb->vendorId : "<vendor id>";
    const std::string product = usb ? usb->productId : "<product id>";
    for (const ProcessInfo& p : processesNamed({"ModemManager", "brltty"}, setting.procRoot)) {
        const std::string running = p.name + " is running (process " + std::to_string(p.pid) + ")";
        if (p.name == "ModemManager")
            findings.push_back(
                {Finding::Kind::Warning,
                 running +
                     " and probes USB serial adapters when they are plugged in, holding the port "
                     "meanwhile; keep it off the adapter with the udev rule ATTRS{idVendor}==\"" +
                     vendor + "\", ATTRS{idProduct}==\"" + product +
                     "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" in /etc/udev/rules.d/99-zrk410.rules "
                     "(then sudo udevadm control --reload), or stop it: sudo systemctl stop "
                     "ModemManager"});
        else
            findings.push_back(
                {Finding::Kind::Warning,
                 running +
                     " and takes some USB serial adapters for braille displays, so that their "
                     "port disappears; without a braille display stop it for good: sudo "
                     "systemctl mask brltty-udev.service brltty.service (or sudo apt remove "
                     "brltty)"});
    }
    if (findings.empty())
        findings.push_back({Finding::Kind::Fact,
                            "neither ModemManager nor brltty is running to take the adapter"});
    return findings;
}

Finding presentSerialDevices(const DoctorSetting& setting) {
    std::vector<std::string> names;
    for (const SerialDevice& d : listSerialDevices({setting.sysRoot, setting.devRoot}))
        if (d.kind != SerialKind::PseudoTerminal)
            names.push_back(d.path);
    std::error_code ec;
    const fs::path byId = fs::path(setting.devRoot) / "serial" / "by-id";
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        names.push_back(it->path().string() + " (a stable name for " + target.filename().string() +
                        ")");
    }
    std::sort(names.begin(), names.end());
    if (names.empty())
        return {Finding::Kind::Fact, "no serial device is present"};
    std::string text = "serial devices present:";
    for (const std::string& name : names)
        text += " " + name + (&name == &names.back() ? "" : ",");
    return {Finding::Kind::Fact, text};
}

std::vector<std::string> portReport(const std::string& device) {
    const DoctorSetting setting = DoctorSetting::forThisUser();
    const PortDiagnosis d = diagnosePort(device, setting);
    std::vector<std::string> lines;
    for (const Finding& f : d.findings)
        lines.push_back(device + ": " + f.text);
    if (!d.exists)
        lines.push_back(presentSerialDevices(setting).text);
    for (const Finding& f : diagnoseServices(setting, d.usb))
        lines.push_back(f.text);
    return lines;
}

std::string accessAdvice(const std::string& device) {
    const std::optional<DeviceAccess> access = device.empty() ? std::nullopt : deviceAccess(device);
    if (!access)
        return {};
    return accessFix(*access, currentIdentity(), device);
}

}  // namespace zrk

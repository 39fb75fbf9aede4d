#include "serial/SerialDevices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "serial/PortAccess.h"

namespace zrk {

namespace fs = std::filesystem;

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Every machine has ttyS0..ttyS31 whether or not a UART is fitted; the kernel says which
// are real by their type (0: none).
bool hasUart(const fs::path& sysTty) {
    std::ifstream type(sysTty / "type");
    int code = 0;
    return type >> code && code != 0;
}

// The name as a person counts: ttyUSB2 before ttyUSB10.
auto sortKey(const SerialDevice& d) {
    std::size_t digits = d.path.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(d.path[digits - 1])))
        --digits;
    const std::string stem = d.path.substr(0, digits);
    const std::string number = d.path.substr(digits);
    const int rank = d.kind == SerialKind::OnBoard          ? 0
                     : d.kind == SerialKind::PseudoTerminal ? 2
                                                            : 1;
    return std::make_tuple(rank, stem, number.size(), number);
}

std::optional<SerialDevice> ttyDevice(const std::string& name, const SerialRoots& roots) {
    const fs::path sysTty = fs::path(roots.sysRoot) / "class" / "tty" / name;
    std::error_code ec;
    // Serial names count by their name, even where sysfs is not mounted; any other terminal
    // with a device behind it is a serial port of some other driver, while virtual consoles
    // have none.
    if (startsWith(name, "ttyS")) {
        if (!hasUart(sysTty))
            return std::nullopt;
    } else if (!startsWith(name, "ttyUSB") && !startsWith(name, "ttyACM") &&
               !startsWith(name, "ttyAMA") && !fs::exists(sysTty / "device", ec)) {
        return std::nullopt;
    }
    SerialDevice d;
    d.path = (fs::path(roots.devRoot) / name).string();
    d.usb = usbIdentityOf(name, roots.sysRoot);
    if (startsWith(name, "ttyACM"))
        d.kind = SerialKind::Acm;
    else if (startsWith(name, "ttyUSB") || d.usb)
        d.kind = SerialKind::Usb;
    else
        d.kind = SerialKind::OnBoard;
    return d;
}

bool mayOpen(const std::string& path, const Identity& who) {
    const std::optional<DeviceAccess> device = deviceAccess(path);
    return device && device->kind == DeviceAccess::Kind::CharacterDevice &&
           mayReadWrite(*device, who);
}

}  // namespace

std::vector<SerialDevice> listSerialDevices(const SerialRoots& roots) {
    std::vector<SerialDevice> devices;
    std::error_code ec;
    for (fs::directory_iterator it(roots.devRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!startsWith(name, "tty") || name.size() <= 3)
            continue;
        if (auto d = ttyDevice(name, roots))
            devices.push_back(std::move(*d));
    }
    const fs::path pts = fs::path(roots.devRoot) / "pts";
    for (fs::directory_iterator it(pts, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            }))
            continue;  // ptmx, the multiplexer, opens a new terminal rather than this one
        SerialDevice d;
        d.path = it->path().string();
        d.kind = SerialKind::PseudoTerminal;
        devices.push_back(std::move(d));
    }
    const Identity me = currentIdentity();
    for (SerialDevice& d : devices)
        d.mayOpen = mayOpen(d.path, me);
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return sortKey(a) < sortKey(b); });
    return devices;
}

const char* adapterAppearance() {
    return "a USB adapter appears as /dev/ttyUSB* or /dev/ttyACM*";
}

std::string systemPortDevice(int portNumber) {
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

}  // namespace zrk

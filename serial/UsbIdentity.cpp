#include "serial/UsbIdentity.h"

#include <filesystem>
#include <fstream>

namespace zrk {

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::optional<UsbIdentity> usbIdentityOf(const std::string& ttyName, const std::string& sysRoot) {
    std::error_code ec;
    const fs::path deviceLink = fs::path(sysRoot) / "class" / "tty" / ttyName / "device";
    const fs::path device = fs::canonical(deviceLink, ec);
    if (ec)
        return std::nullopt;
    UsbIdentity usb;
    const fs::path driver = fs::read_symlink(device / "driver", ec);
    if (!ec)
        usb.driver = driver.filename().string();
    // The interface's parents lead to the USB device, the first with a vendor identifier.
    const fs::path top = fs::canonical(sysRoot, ec);
    fs::path below;  // the interface, once the walk is past it
    for (fs::path at = device; !ec && at.has_relative_path() && at != top;
         below = at, at = at.parent_path()) {
        if (fs::exists(at / "idVendor")) {
            if (!below.empty()) {
                usb.usbPath = below.filename().string();
                usb.interfaceNumber = firstLine(below / "bInterfaceNumber");
                const auto dot = usb.usbPath.rfind('.');
                if (usb.interfaceNumber.empty() && dot != std::string::npos)
                    usb.interfaceNumber = usb.usbPath.substr(dot + 1);
                if (usb.interfaceNumber.size() == 1)
                    usb.interfaceNumber.insert(0, "0");
            }
            usb.vendorId = firstLine(at / "idVendor");
            usb.productId = firstLine(at / "idProduct");
            usb.manufacturer = firstLine(at / "manufacturer");
            usb.product = firstLine(at / "product");
            usb.serial = firstLine(at / "serial");
            return usb;
        }
    }
    return std::nullopt;
}

std::string describeUsbIdentity(const UsbIdentity& usb) {
    std::string text = usb.vendorId + ":" + usb.productId;
    for (const std::string* part : {&usb.manufacturer, &usb.product})
        if (!part->empty())
            text += " " + *part;
    if (!usb.serial.empty())
        text += ", serial " + usb.serial;
    if (!usb.driver.empty())
        text += ", driver " + usb.driver;
    return text;
}

}  // namespace zrk

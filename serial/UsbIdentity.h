#pragma once
// What sysfs says about the USB adapter behind a serial device, where there is one: the
// identity to name in a udev rule, and the driver that took it.
#include <optional>
#include <string>

namespace zrk {

struct UsbIdentity {
    std::string vendorId;   // "1a86"
    std::string productId;  // "7523"
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string driver;  // of the serial interface, "ch341-uart"
    // The interface the port belongs to, named by the USB socket path it is plugged into
    // ("1-1.2:1.0": bus 1, hub port 1, port 2, configuration 1, interface 0), and its number.
    std::string usbPath;
    std::string interfaceNumber;  // "00"
};

// ttyName as under /sys/class/tty ("ttyUSB0"); nullopt for a device without a USB parent.
std::optional<UsbIdentity> usbIdentityOf(const std::string& ttyName,
                                         const std::string& sysRoot = "/sys");

// "1a86:7523 QinHeng Electronics USB Serial, serial 123, driver ch341-uart"
std::string describeUsbIdentity(const UsbIdentity& usb);

}  // namespace zrk

#include "serial/SerialDevices.h"

namespace zrk {

namespace {

// The strings come from the adapter's own memory: whatever it holds must not reach a
// terminal as a control sequence.
std::string shown(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

}  // namespace

std::vector<SerialDevice> usbAdapters(const std::vector<SerialDevice>& devices) {
    std::vector<SerialDevice> adapters;
    for (const SerialDevice& d : devices)
        if (d.kind == SerialKind::Usb || d.kind == SerialKind::Acm)
            adapters.push_back(d);
    return adapters;
}

std::string adapterKey(const SerialDevice& device) {
    if (!device.usb)
        return {};
    const UsbIdentity& usb = *device.usb;
    if (!usb.serial.empty())
        return "serial=" + usb.serial + ":" + usb.interfaceNumber;
    if (!usb.usbPath.empty())
        return "usb=" + usb.usbPath;
    return {};
}

const char* kindName(SerialKind kind) {
    switch (kind) {
        case SerialKind::OnBoard:
            return "on-board";
        case SerialKind::Usb:
            return "USB";
        case SerialKind::Acm:
            return "ACM";
        case SerialKind::PseudoTerminal:
            return "pseudo-terminal";
    }
    return "?";
}

std::string identityText(const SerialDevice& device) {
    if (!device.usb)
        return kindName(device.kind);
    const UsbIdentity& usb = *device.usb;
    std::string text;
    for (const std::string* part : {&usb.manufacturer, &usb.product})
        if (!part->empty())
            text += (text.empty() ? "" : " ") + shown(*part);
    if (text.empty())
        text = std::string(kindName(device.kind)) + " " + shown(usb.vendorId) + ":" +
               shown(usb.productId);
    if (!usb.serial.empty())
        text += "  " + shown(usb.serial);
    return text;
}

}  // namespace zrk

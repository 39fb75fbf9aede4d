#pragma once
// The serial devices present now, as a person would tell them apart: the path to open, what
// kind of port it is and, for a USB adapter, who made it, its serial number and the USB socket
// it is plugged into. Each system reads its own tables (posix/: sysfs and /dev); the roots are
// parameters so that tests can build a machine of their own.
#include <optional>
#include <string>
#include <vector>

#include "serial/UsbIdentity.h"

namespace zrk {

enum class SerialKind {
    OnBoard,         // a UART of the machine itself (ttyS with hardware behind it, ttyAMA, ...)
    Usb,             // a USB serial adapter (ttyUSB)
    Acm,             // a USB modem-class device (ttyACM), as phones and many boards are
    PseudoTerminal,  // /dev/pts/N: a terminal window, or the phone simulator
};

struct SerialDevice {
    std::string path;  // "/dev/ttyUSB0"
    SerialKind kind = SerialKind::OnBoard;
    std::optional<UsbIdentity> usb;  // Usb and Acm, where sysfs tells
    bool mayOpen = false;            // this process's user may read and write it
};

struct SerialRoots {
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
};

// Sorted: on-board ports, then USB and ACM devices, then pseudo-terminals, each by path in
// numeric order (ttyUSB2 before ttyUSB10).
std::vector<SerialDevice> listSerialDevices(const SerialRoots& roots = {});

// The USB adapters among them (kinds Usb and Acm): those a person plugs in for a phone.
std::vector<SerialDevice> usbAdapters(const std::vector<SerialDevice>& devices);

// What names the adapter wherever it is plugged in again: its serial number with the
// interface (a two-port adapter has one serial number), else the USB socket's path.
// "serial=A5XK3RJ:00", "usb=1-1.2:1.0"; empty for a device that is not on USB.
std::string adapterKey(const SerialDevice& device);

// The device COMn opens when nobody set another for it: /dev/ttyS<n-1> on Linux; on Windows
// "COMn", and from COM10 on the device namespace's "\\.\COMn", the only form those open by.
std::string systemPortDevice(int portNumber);

// Where a USB adapter shows once plugged in, for the words when none is present.
const char* adapterAppearance();

// "on-board", "USB", "ACM", "pseudo-terminal"
const char* kindName(SerialKind kind);

// "FTDI FT232R USB UART  A5XK3RJ" for an adapter (maker, product, serial number); the kind's
// name for anything else.
std::string identityText(const SerialDevice& device);

}  // namespace zrk

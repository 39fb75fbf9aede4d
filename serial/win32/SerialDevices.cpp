#include "serial/SerialDevices.h"

#include <windows.h>
// After windows.h, which it needs.
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <optional>

#include "serial/PortMap.h"
#include "serial/win32/WindowsText.h"

// The COM ports present, from the device manager's "Ports" class (SetupAPI: the friendly name,
// maker and the USB identity in the hardware and instance ids), and from the registry's table
// of serial devices where SetupAPI knows none (an emulator, a bare driver).
namespace zrk {
namespace {

// GUID_DEVCLASS_PORTS, spelled out so that no GUID library is needed.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::wstring property(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD which) {
    DWORD type = 0;
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, &info, which, &type, nullptr, 0, &size);
    if (size == 0 || size > 64 * 1024)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &info, which, &type,
                                             reinterpret_cast<BYTE*>(value.data()), size, nullptr))
        return {};
    value.resize(wcsnlen(value.c_str(), value.size()));  // the first string of a list
    return value;
}

std::wstring portNameOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[64] = {};
    DWORD size = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const bool read = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                         reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    ::RegCloseKey(key);
    return read ? std::wstring(name) : std::wstring();
}

// "VID_0403&PID_6001" in a hardware or instance id -> "0403", "6001".
std::string idAfter(const std::string& id, const std::string& label) {
    const std::size_t at = id.find(label);
    if (at == std::string::npos || at + label.size() + 4 > id.size())
        return {};
    std::string value = id.substr(at + label.size(), 4);
    std::transform(value.begin(), value.end(), value.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c); });
    return value;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    return text;
}

// The USB identity behind a port, where its ids tell one.
std::optional<UsbIdentity> usbOf(const std::string& hardwareId, const std::string& instanceId,
                                 const std::string& maker, const std::string& friendly,
                                 const std::string& location, const std::string& service) {
    const std::string ids = upper(hardwareId + " " + instanceId);
    UsbIdentity usb;
    usb.vendorId = idAfter(ids, "VID_");
    usb.productId = idAfter(ids, "PID_");
    if (usb.vendorId.empty() || usb.productId.empty())
        return std::nullopt;
    usb.manufacturer = maker;
    usb.product = friendly;
    usb.driver = service;
    usb.usbPath = location;
    // "USB\VID_2341&PID_0043\75735323" or "FTDIBUS\VID_0403+PID_6001+A5XK3RJA\0000": the part
    // after the ids is the serial number (FTDI adds a letter for the interface).
    const std::string upperInstance = upper(instanceId);
    const std::size_t last = instanceId.rfind('\\');
    if (upperInstance.rfind("FTDIBUS\\", 0) == 0) {
        const std::size_t plus = instanceId.rfind('+');
        if (plus != std::string::npos && last != std::string::npos && plus < last)
            usb.serial = instanceId.substr(plus + 1, last - plus - 1);
    } else if (last != std::string::npos && instanceId.find('&', last) == std::string::npos) {
        usb.serial = instanceId.substr(last + 1);  // '&' marks a number Windows made up
    }
    return usb;
}

std::optional<int> comNumber(const std::string& name) {
    return PortMap::parsePortName(name);
}

}  // namespace

std::vector<SerialDevice> listSerialDevices(const SerialRoots&) {
    std::map<int, SerialDevice> byNumber;
    HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &info); ++i) {
            const std::string name = win32::utf8Of(portNameOf(set, info));
            const std::optional<int> number = comNumber(name);
            if (!number)
                continue;  // LPT1 and the like
            wchar_t instance[512] = {};
            ::SetupDiGetDeviceInstanceIdW(set, &info, instance, 511, nullptr);
            const std::string instanceId = win32::utf8Of(instance);
            const std::string hardwareId = win32::utf8Of(property(set, info, SPDRP_HARDWAREID));
            const std::string service = win32::utf8Of(property(set, info, SPDRP_SERVICE));
            SerialDevice device;
            device.path = PortMap::defaultDevice(*number);
            device.mayOpen = true;  // no owner and mode here: the open tells
            device.usb =
                usbOf(hardwareId, instanceId, win32::utf8Of(property(set, info, SPDRP_MFG)),
                      win32::utf8Of(property(set, info, SPDRP_FRIENDLYNAME)),
                      win32::utf8Of(property(set, info, SPDRP_LOCATION_INFORMATION)), service);
            const std::string serviceName = upper(service);
            device.kind = !device.usb               ? SerialKind::OnBoard
                          : serviceName == "USBSER" ? SerialKind::Acm
                                                    : SerialKind::Usb;
            byNumber[*number] = device;
        }
        ::SetupDiDestroyDeviceInfoList(set);
    }
    // The registry's table: every serial driver enters its ports there.
    HKEY table = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &table) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            wchar_t valueName[256];
            DWORD nameLength = 256;
            wchar_t data[64] = {};
            DWORD dataSize = sizeof data - sizeof(wchar_t);
            DWORD type = 0;
            const LSTATUS status = ::RegEnumValueW(table, i, valueName, &nameLength, nullptr, &type,
                                                   reinterpret_cast<BYTE*>(data), &dataSize);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status != ERROR_SUCCESS || type != REG_SZ)
                continue;
            const std::optional<int> number = comNumber(win32::utf8Of(data));
            if (!number || byNumber.contains(*number))
                continue;
            SerialDevice device;
            device.path = PortMap::defaultDevice(*number);
            device.mayOpen = true;
            // A USB driver's device name tells it apart from a UART's ("\Device\VCP0",
            // "\Device\USBSER000", "\Device\Serial0").
            const std::string driverName = upper(win32::utf8Of(valueName));
            device.kind = driverName.find("USBSER") != std::string::npos ? SerialKind::Acm
                          : driverName.find("VCP") != std::string::npos ||
                                  driverName.find("USB") != std::string::npos
                              ? SerialKind::Usb
                              : SerialKind::OnBoard;
            byNumber[*number] = device;
        }
        ::RegCloseKey(table);
    }
    std::vector<SerialDevice> devices;
    for (auto& [number, device] : byNumber)
        devices.push_back(std::move(device));
    std::stable_sort(devices.begin(), devices.end(),
                     [](const SerialDevice& a, const SerialDevice& b) {
                         return (a.kind == SerialKind::OnBoard ? 0 : 1) <
                                (b.kind == SerialKind::OnBoard ? 0 : 1);
                     });
    return devices;
}

const char* adapterAppearance() {
    return "a USB adapter appears as a new COM port under Ports in the Device Manager";
}

std::string systemPortDevice(int portNumber) {
    const std::string name = "COM" + std::to_string(portNumber);
    return portNumber < 10 ? name : "\\\\.\\" + name;
}

}  // namespace zrk

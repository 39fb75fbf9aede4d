#include "serial/PortDoctor.h"

#include <windows.h>

#include <algorithm>

#include "serial/PortMap.h"
#include "serial/SerialDevices.h"
#include "serial/win32/WindowsText.h"

// On Windows a port is "present" when the device manager lists it, "usable" when it opens
// for this program alone; the three things that go wrong are another program holding it, no
// such port, and a device without its driver (it is then listed nowhere as a COM port).
namespace zrk {
namespace {

std::string comNameOf(const std::string& device) {
    std::string name = device;
    if (name.rfind("\\\\.\\", 0) == 0)
        name = name.substr(4);
    return name;
}

// The same steps the downloader takes to own a port, undone at once.
Finding tryOpen(const std::string& device) {
    const std::wstring path =
        win32::utf16Of(device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device);
    HANDLE port = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        std::string text = "opening it fails: " + win32::systemMessage(error);
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
            text +=
                "; another program has it open (a terminal program, a modem or phone "
                "tool, another downloader): close that program";
        else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            text += "; no port answers at this name";
        return {Finding::Kind::Problem, text};
    }
    DCB line{};
    line.DCBlength = sizeof line;
    Finding result{Finding::Kind::Fact, "it opens as a serial line"};
    if (!::GetCommState(port, &line))
        result = {Finding::Kind::Problem, "it opens but does not answer as a serial port: " +
                                              win32::systemMessage(::GetLastError())};
    ::CloseHandle(port);
    return result;
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
    const std::vector<SerialDevice> present = listSerialDevices({setting.sysRoot, setting.devRoot});
    const auto listed = std::find_if(present.begin(), present.end(), [&](const SerialDevice& s) {
        return comNameOf(s.path) == comNameOf(device);
    });
    if (listed == present.end()) {
        const Finding opened = tryOpen(device);
        if (opened.kind != Finding::Kind::Problem) {
            // Not listed, yet it opens: a driver that does not enter its ports in the tables.
            d.exists = true;
            d.findings.push_back(
                {Finding::Kind::Fact, "the device manager does not list it, but it opens"});
            d.findings.push_back(opened);
            d.usable = true;
            return d;
        }
        d.findings.push_back(
            {Finding::Kind::Problem,
             "it is not present; a USB adapter that is plugged in again may come back under "
             "another COM number, and one whose driver is missing is listed in the device "
             "manager under \"Other devices\" instead of \"Ports (COM & LPT)\": install the "
             "adapter's driver"});
        return d;
    }
    d.exists = true;
    d.usb = listed->usb;
    if (d.usb)
        d.findings.push_back({Finding::Kind::Fact, "USB adapter " + describeUsbIdentity(*d.usb)});
    d.findings.push_back(tryOpen(device));
    d.usable = std::none_of(d.findings.begin(), d.findings.end(),
                            [](const Finding& f) { return f.kind == Finding::Kind::Problem; });
    return d;
}

std::vector<Finding> diagnoseServices(const DoctorSetting&, const std::optional<UsbIdentity>&) {
    // No service of Windows takes a serial adapter by itself; a program that holds the port is
    // found by opening it.
    return {};
}

Finding presentSerialDevices(const DoctorSetting& setting) {
    std::string text;
    for (const SerialDevice& d : listSerialDevices({setting.sysRoot, setting.devRoot}))
        text += (text.empty() ? "" : ", ") + comNameOf(d.path) + " (" + identityText(d) + ")";
    if (text.empty())
        return {Finding::Kind::Fact, "no serial port is present"};
    return {Finding::Kind::Fact, "serial ports present: " + text};
}

std::vector<std::string> portReport(const std::string& device) {
    const DoctorSetting setting = DoctorSetting::forThisUser();
    const PortDiagnosis d = diagnosePort(device, setting);
    std::vector<std::string> lines;
    for (const Finding& f : d.findings)
        lines.push_back(device + ": " + f.text);
    if (!d.exists)
        lines.push_back(presentSerialDevices(setting).text);
    return lines;
}

std::string accessAdvice(const std::string&) {
    // Any user may open a free port on Windows: there is no access to advise on.
    return {};
}

}  // namespace zrk

#pragma once
// Why a serial port will or will not open, in plain words, one finding a line: where the name
// leads, who may open it and how to change that, who holds it, whether it opens as a serial
// line, the USB adapter behind it, and the services known to grab such adapters.
#include <optional>
#include <string>
#include <vector>

#include "serial/PortAccess.h"
#include "serial/UsbIdentity.h"

namespace zrk {

struct Finding {
    enum class Kind {
        Fact,     // how things are
        Warning,  // may get in the way, but the port can be used now
        Problem,  // the port cannot be used until this is fixed
    };
    Kind kind = Kind::Fact;
    std::string text;
};

// Whom to answer for and where the system's tables are (tests point them at their own).
struct DoctorSetting {
    Identity identity;
    std::string procRoot = "/proc";
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
    static DoctorSetting forThisUser();
};

struct PortDiagnosis {
    std::string device;
    bool exists = false;
    bool usable = false;  // no Problem among the findings
    std::vector<Finding> findings;
    std::optional<UsbIdentity> usb;
};

// Opens the device for a moment when the user may and nobody else has it, and closes it again
// without touching the line.
PortDiagnosis diagnosePort(const std::string& device, const DoctorSetting& setting);

// ModemManager and brltty, with the rule or command that keeps them off the adapter.
std::vector<Finding> diagnoseServices(const DoctorSetting& setting,
                                      const std::optional<UsbIdentity>& usb);

// One line naming the serial devices present now and the stable names of the USB ones.
Finding presentSerialDevices(const DoctorSetting& setting);

// What would let this process's user open the device (the group to join, or that its group
// may not use it at all), judged from its owner, group and mode; empty when it cannot be told.
std::string accessAdvice(const std::string& device);

// Everything about one device, a line each, for a front end that shows it after a failed open.
std::vector<std::string> portReport(const std::string& device);

}  // namespace zrk

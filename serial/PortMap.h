#pragma once
// The window offers COM1..COM20; Linux has device paths. Each name maps to /dev/ttyS<n-1>
// unless the user set another device for it (the front ends keep those choices in their
// settings and hand them in here). A name may also be bound to a USB adapter, which keeps
// it wherever the adapter is plugged in and whatever path the system gives it then.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial/SerialDevices.h"

namespace zrk {

class PortMap {
  public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 20;

    static std::string portName(int portNumber);       // "COM7"
    static std::string defaultDevice(int portNumber);  // systemPortDevice: "/dev/ttyS6"
    // "COM7" or "com7" -> 7; anything else -> nullopt.
    static std::optional<int> parsePortName(const std::string& name);

    // Empty path restores the default.
    void setDevice(int portNumber, const std::string& path);
    std::string device(int portNumber) const;
    bool isOverridden(int portNumber) const;

    // The adapter (adapterKey) COMn is bound to; empty when none. Setting a device by hand
    // ends the binding.
    void setAdapter(int portNumber, const std::string& key);
    std::string adapter(int portNumber) const;

    // Each name bound to an adapter present points where that adapter is now. The numbers
    // whose device changed are returned, for the front end to store.
    std::vector<int> follow(const std::vector<SerialDevice>& present);
    // Each USB adapter present that no name stands for gets the first free name: one that is
    // neither set nor the default of an on-board port present. The numbers given are returned.
    std::vector<int> nameNewAdapters(const std::vector<SerialDevice>& present);
    // The first name that stands for the device; nullopt when none does.
    std::optional<int> nameOf(const std::string& device) const;

  private:
    std::array<std::string, kLastPort + 1> m_Overrides{};
    std::array<std::string, kLastPort + 1> m_Adapters{};
};

// A device present as the port lists show it: "COM3  /dev/ttyUSB0  FTDI FT232R  A5XK3RJ",
// the first name that stands for it, then its path and identity; without a name it starts
// with its path.
// Where the device is the name itself (Windows' "COM3"), the name is said once.
std::string portLine(const PortMap& map, const SerialDevice& device);
// "COM3  /dev/ttyUSB0", or "COM3" alone where the device is that name ("COM3", "\\.\COM12").
std::string nameAndDevice(int portNumber, const std::string& devicePath);
// Every device present but the pseudo-terminals (each terminal window is one), a line each.
std::vector<std::string> presentPortLines(const PortMap& map,
                                          const std::vector<SerialDevice>& present);

// The map every CommPort consults; front ends fill it at start-up.
PortMap& portMap();

}  // namespace zrk

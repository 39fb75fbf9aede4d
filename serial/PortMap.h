#pragma once
// The window offers COM1..COM20; Linux has device paths. Each name maps to /dev/ttyS<n-1>
// unless the user set another device for it (the front ends keep those choices in their
// settings and hand them in here).
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace zrk {

class PortMap {
  public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 20;

    static std::string portName(int portNumber);       // "COM7"
    static std::string defaultDevice(int portNumber);  // "/dev/ttyS6"
    // "COM7" or "com7" -> 7; anything else -> nullopt.
    static std::optional<int> parsePortName(const std::string& name);

    // Empty path restores the default.
    void setDevice(int portNumber, const std::string& path);
    std::string device(int portNumber) const;
    bool isOverridden(int portNumber) const;

  private:
    std::array<std::string, kLastPort + 1> m_Overrides{};
};

// The map every CommPort consults; front ends fill it at start-up.
PortMap& portMap();

}  // namespace zrk

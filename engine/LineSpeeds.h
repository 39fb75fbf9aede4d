#pragma once
// The speed list the user chooses from: its index is the byte the pre-loader is told.
#include <array>
#include <cstdint>
#include <optional>

namespace zrk {

inline constexpr std::array<std::uint32_t, 4> kLineSpeeds = {115200, 230400, 460800, 921600};
// The boot ROM's own line, before the switch.
inline constexpr std::uint32_t kBootRomBaud = 115200;

inline bool validSpeedIndex(int index) {
    return index >= 0 && index < static_cast<int>(kLineSpeeds.size());
}
inline std::uint32_t baudRateFor(int speedIndex) {
    return validSpeedIndex(speedIndex) ? kLineSpeeds[static_cast<std::size_t>(speedIndex)]
                                       : kBootRomBaud;
}
inline std::optional<int> speedIndexOf(std::uint32_t baud) {
    for (std::size_t i = 0; i < kLineSpeeds.size(); ++i)
        if (kLineSpeeds[i] == baud)
            return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace zrk

#pragma once
// The termios settings the port asks for: the one place that turns a line format into the
// terminal's flags and speed constants.
#include <termios.h>

#include <cstdint>
#include <optional>

#include "serial/SerialLink.h"

namespace zrk {

// From the device's current settings: raw, the given speed, data bits and parity, one stop bit,
// no flow control, reads that return at once. A pseudo-terminal drops parity, so this is where
// parity is checked. nullopt for a speed or format the port does not offer.
std::optional<termios> buildLineSettings(const termios& current, std::uint32_t baud, int dataBits,
                                         Parity parity, int stopBits);
std::optional<speed_t> speedFor(std::uint32_t baud);

}  // namespace zrk

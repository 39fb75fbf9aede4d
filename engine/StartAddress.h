#pragma once
// Where a firmware download may begin, the one rule for the window and the command line. The
// window's "Start NOR Addr(hex):" field is read leniently: the first line, at most 16
// characters, hexadecimal with an optional 0x, up to the first character that is not a hex
// digit ("1002ZZ" is 1002h, "" is 0); 16 digits are read in 64 bits, so no text can wrap round
// into the allowed range. The address must then lie in the flash and begin a sector.
#include <cstdint>
#include <string_view>

#include "engine/SectorMap.h"

namespace zrk {

inline constexpr std::uint32_t NOR_BASE = 0x10000000;
// End of the range a start address may name before the sector check.
inline constexpr std::uint64_t kStartAddressLimit = 0x18000000;

std::uint64_t parseStartAddress(std::string_view text);

struct StartAddressVerdict {
    enum class Kind { Accepted, OutOfRange, NotSectorBegin };
    Kind kind = Kind::OutOfRange;
    std::uint32_t offset = 0;  // from NOR_BASE, when in range
    int sectorIndex = -1;      // when accepted
};

// Against a map that has been activated (the CLI activates a copy before the phone is up).
StartAddressVerdict judgeStartAddress(std::uint64_t address, const SectorMap& map);

}  // namespace zrk

#pragma once
// The "Start NOR Addr(hex):" field: the first line, at most 16 characters, read as hexadecimal
// with an optional 0x, up to the first character that is not a hex digit ("1002ZZ" is 1002h,
// "" is 0). Wide enough that no text of 16 digits can wrap round into the allowed range.
#include <cstdint>
#include <string_view>

namespace zrk {

std::uint64_t parseStartAddress(std::string_view text);

}  // namespace zrk

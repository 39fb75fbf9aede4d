#pragma once
// The file-system download's packets that carry more than their command byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace zrk::fs {

inline constexpr std::size_t kTimePacketSize = 28;

// The clock packet for the given local time: C4h, three zero bytes, then seconds, minutes,
// hours, day, month and year, each 32-bit little-endian.
std::array<std::uint8_t, kTimePacketSize> timePacket(const std::tm& local);

// A command, the name's length (2 bytes, big-endian) and the UTF-8 name with its zero byte.
std::vector<std::uint8_t> namePacket(std::uint8_t command, const std::string& utf8Name);

}  // namespace zrk::fs

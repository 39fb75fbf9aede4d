#include "sim/SimChecksums.h"

#include <array>

namespace zrk::sim {

namespace {
std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
}  // namespace

std::uint32_t phoneCrc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
    static const auto table = makeTable();
    crc = ~crc;
    for (std::size_t i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace zrk::sim

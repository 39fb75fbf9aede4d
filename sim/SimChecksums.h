#pragma once
// The phone computes its own checksums (it does not trust the host's code to agree with it).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zrk::sim {

inline std::uint8_t phoneSum8(const std::uint8_t* data, std::size_t length) {
    // In 8 bits, where the wrap is the answer, so that the loop needs no widening.
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

// Running CRC-32 (reflected, 0xEDB88320); start with 0, the final complement is built in.
// libdeflate's, a reference implementation rather than a copy of the host's code.
std::uint32_t phoneCrc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length);

inline std::uint32_t bigEndianAt(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

inline void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace zrk::sim

#pragma once
// Firmware images for tests: random bytes, so a misplaced or repeated block shows.
#include <cstdint>
#include <random>
#include <vector>

namespace zrk::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes randomImage(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(random());
    return out;
}

}  // namespace zrk::test

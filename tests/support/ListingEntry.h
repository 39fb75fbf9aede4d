#pragma once
// One entry of a directory listing as the phone sends it: its length with the NUL, its type,
// the name and the NUL.
#include <cstdint>
#include <string>
#include <vector>

namespace zrk::test {

inline std::vector<std::uint8_t> listingEntry(std::uint8_t type, const std::string& name) {
    std::vector<std::uint8_t> b{static_cast<std::uint8_t>(name.size() + 1), type};
    b.insert(b.end(), name.begin(), name.end());
    b.push_back(0);
    return b;
}

}  // namespace zrk::test

#pragma once
// The three pieces of target data the bring-up sends. Normally the images embedded at build
// time; a test or a user with other images can hand in their own (any boot-loader size works).
#include <cstdint>
#include <span>

namespace zrk {

struct TargetData {
    std::span<const std::uint8_t> preLoader;
    std::span<const std::uint8_t> bootLoader;
    std::span<const std::uint8_t> customerId;

    static TargetData embedded();
};

}  // namespace zrk

#pragma once
// The data the phone needs from us that we do not interpret: the pre-loader for the chip's
// internal RAM, the boot-loader for the phone's RAM, and the customer identifier the boot ROM
// checks. Embedded at build time (cmake/TargetImages.cmake).
#include <cstdint>
#include <span>

namespace zrk {

std::span<const std::uint8_t> preLoaderImage();
std::span<const std::uint8_t> bootLoaderImage();
std::span<const std::uint8_t> customerId();

}  // namespace zrk

#pragma once
// The images the harnesses' bring-ups send. The embedded ones make the bring-up hundreds of
// word and chunk exchanges alike (most of an input's time, for the bring-up that begins nearly
// every input), where a few walk every path: a pre-loader whose last word is padded, and a
// boot-loader of two full chunks and a short one. The customer identifier is the embedded one.
#include <cstdint>
#include <vector>

#include "bringup/TargetData.h"

namespace zrk::fuzz {

inline const TargetData& fuzzTargetData() {
    static const std::vector<std::uint8_t> preLoader = {0x12, 0x34, 0x56, 0x78, 0x9A,
                                                        0xBC, 0xDE, 0xF0, 0x0F, 0x1E};
    static const std::vector<std::uint8_t> bootLoader = [] {
        std::vector<std::uint8_t> image(2 * 2048 + 333);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i * 13 + 5);
        return image;
    }();
    static const TargetData data{preLoader, bootLoader, TargetData::embedded().customerId};
    return data;
}

// For the harnesses that begin every input with a faultless bring-up and fuzz what follows it:
// the least a bring-up sends, one word and one short chunk, so that it costs each input little.
inline const TargetData& shortTargetData() {
    static const std::vector<std::uint8_t> preLoader = {0x12, 0x34, 0x56, 0x78};
    static const std::vector<std::uint8_t> bootLoader = {0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB};
    static const TargetData data{preLoader, bootLoader, TargetData::embedded().customerId};
    return data;
}

}  // namespace zrk::fuzz

#include "sim/SimChecksums.h"

#include <libdeflate.h>

namespace zrk::sim {

std::uint32_t phoneCrc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
    if (length == 0)
        return crc;  // libdeflate answers 0 for a null buffer, not the running value
    return ::libdeflate_crc32(crc, data, length);
}

}  // namespace zrk::sim

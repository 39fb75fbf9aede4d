#pragma once
// The one libdeflate call the program makes, answered by zlib where there is no libdeflate
// (the Windows build). The same CRC-32; zlib counts lengths in 32 bits, so longer buffers go
// in pieces.
#include <zlib.h>

#include <cstddef>
#include <cstdint>

inline std::uint32_t libdeflate_crc32(std::uint32_t crc, const void* buffer, std::size_t length) {
    if (buffer == nullptr)
        return 0;
    const auto* bytes = static_cast<const Bytef*>(buffer);
    uLong value = crc;
    constexpr std::size_t kPiece = 1u << 30;
    while (length > 0) {
        const std::size_t take = length < kPiece ? length : kPiece;
        value = ::crc32(value, bytes, static_cast<uInt>(take));
        bytes += take;
        length -= take;
    }
    return static_cast<std::uint32_t>(value);
}

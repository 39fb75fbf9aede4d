#pragma once
// The two checksums of the wire: sum8 confirms payloads in both directions, CRC-32 (the
// reflected ISO-HDLC one of zlib and gzip) confirms whole images.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zrk {

// Low 8 bits of the byte sum, no complement.
std::uint8_t sum8(std::span<const std::uint8_t> bytes);
inline std::uint8_t sum8(const std::uint8_t* data, std::size_t length) {
    return sum8(std::span<const std::uint8_t>(data, length));
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t length);
// Continues a running CRC (start with 0) so a large file can be read in pieces.
std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t length);

struct FileCrc {
    std::uint32_t crc = 0;
    std::uint64_t length = 0;
};
// The file's CRC-32 and length, read in chunks (same result as reading it whole, bounded
// memory). nullopt when the file cannot be opened or read.
std::optional<FileCrc> fileCrc32(const std::string& path);

// The 4 big-endian bytes of a 32-bit value, as most of the wire carries it.
std::array<std::uint8_t, 4> bigEndian32(std::uint32_t value);

}  // namespace zrk

#include "engine/Checksums.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "files/RegularFileReader.h"

namespace zrk {

std::uint8_t sum8(std::span<const std::uint8_t> bytes) {
    // Summed in 8 bits, where the wrap is the answer: the loop then adds 16 or 32 bytes per
    // instruction instead of widening every byte first.
    // Indexed through the raw pointer: the fuzzing build leaves this loop unchecked, and
    // an unchecked function cannot take in a checked iterator, whose every step would be a call.
    const std::uint8_t* data = bytes.data();
    const std::size_t size = bytes.size();
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
    // libdeflate's is the same CRC, folded many bytes at a time: byte by byte through the
    // table it was a sixth of a firmware download's CPU time. Nothing to add keeps the running
    // value: libdeflate answers 0 for the null buffer an empty span may carry.
    if (length == 0)
        return crc;
    return ::libdeflate_crc32(crc, data, length);
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t length) {
    return crc32Update(0, data, length);
}

std::optional<FileCrc> fileCrc32(const std::string& path) {
    // Only regular files: /dev/zero would be read for ever, and the open of a FIFO would wait
    // for a writer (hence O_NONBLOCK, which a regular file ignores).
    RegularFileReader file;
    if (file.open(path) != RegularFileReader::Open::Opened)
        return std::nullopt;
    FileCrc result;
    // Small enough to stay in the cache between the read and the sum.
    // Not cleared first: the read fills what the sum takes.
    // No larger than the file, which is often small (a .qix of a few files).
    const std::size_t kChunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(64 * 1024, file.size() + 1));
    const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(kChunk);
    for (;;) {
        const long n = file.read(chunk.get(), kChunk);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return result;
        result.crc = crc32Update(result.crc, chunk.get(), static_cast<std::size_t>(n));
        result.length += static_cast<std::uint64_t>(n);
    }
}

std::array<std::uint8_t, 4> bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace zrk

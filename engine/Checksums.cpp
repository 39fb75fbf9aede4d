#include "engine/Checksums.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

namespace zrk {

std::uint8_t sum8(std::span<const std::uint8_t> bytes) {
    // Summed in 8 bits, where the wrap is the answer: the loop then adds 16 or 32 bytes per
    // instruction instead of widening every byte first.
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes)
        sum = static_cast<std::uint8_t>(sum + b);
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return std::nullopt;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(::fdopen(fd, "rb"), &std::fclose);
    if (!file) {
        ::close(fd);
        return std::nullopt;
    }
    FileCrc result;
    // Small enough to stay in the cache between the read and the sum.
    std::vector<std::uint8_t> chunk(64 * 1024);
    for (;;) {
        const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
        result.crc = crc32Update(result.crc, chunk.data(), n);
        result.length += n;
        if (n < chunk.size())
            break;
    }
    if (std::ferror(file.get()))
        return std::nullopt;
    return result;
}

std::array<std::uint8_t, 4> bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace zrk

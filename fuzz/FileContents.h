#pragma once
// A file's bytes, read whole into a buffer kept from call to call. Completed dumps and
// read-outs are compared with what came over the wire; reading each into a vector of its own
// (a dump of a large sector is 128 KB) took the sanitizer's large allocator, fresh pages and
// all, every time.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zrk::fuzz {

// Valid until the next call. A file that cannot be opened or read reads as empty (or as what
// was read before the error), as test::TempDir::read has it.
inline std::span<const std::uint8_t> fileContents(const std::string& path) {
    static std::vector<std::uint8_t> buffer;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::size_t size = 0;
    for (;;) {
        if (buffer.size() - size < 16384)
            buffer.resize(std::max<std::size_t>(2 * buffer.size(), 65536));
        const ssize_t n = ::read(fd, buffer.data() + size, buffer.size() - size);
        if (n <= 0)
            break;
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return {buffer.data(), size};
}

}  // namespace zrk::fuzz

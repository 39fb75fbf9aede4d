#include "sim/NorFlash.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zrk::sim {

namespace {
constexpr int kBigSectors = 511;
constexpr std::uint32_t kBigSize = 64 * 1024;
constexpr std::uint32_t kSmallSize = 8 * 1024;
}  // namespace

NorSector NorFlash::sector(int index) {
    if (index < kBigSectors)
        return {index, static_cast<std::uint32_t>(index) * kBigSize, kBigSize};
    return {index,
            kBigSectors * kBigSize + static_cast<std::uint32_t>(index - kBigSectors) * kSmallSize,
            kSmallSize};
}

std::optional<NorSector> NorFlash::sectorAt(std::uint32_t offset) {
    if (offset < kBigSectors * kBigSize) {
        if (offset % kBigSize != 0)
            return std::nullopt;
        return sector(static_cast<int>(offset / kBigSize));
    }
    const std::uint32_t rest = offset - kBigSectors * kBigSize;
    if (offset >= kSize || rest % kSmallSize != 0)
        return std::nullopt;
    return sector(kBigSectors + static_cast<int>(rest / kSmallSize));
}

std::vector<std::uint8_t> NorFlash::read(std::uint32_t offset, std::uint32_t length) const {
    std::vector<std::uint8_t> out(length, 0xFF);
    for (std::uint32_t i = 0; i < length;) {
        const std::uint64_t at = std::uint64_t{offset} + i;
        if (at >= kSize)
            break;
        const auto base = static_cast<std::uint32_t>(at / kChunk * kChunk);
        const std::uint32_t within = static_cast<std::uint32_t>(at) - base;
        const std::uint32_t n = std::min(kChunk - within, length - i);
        if (auto it = m_Chunks.find(base); it != m_Chunks.end())
            std::memcpy(out.data() + i, it->second->data() + within, n);
        i += n;
    }
    return out;
}

void NorFlash::write(std::uint32_t offset, const std::uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i < length;) {
        const std::uint64_t at = std::uint64_t{offset} + i;
        if (at >= kSize)
            return;
        const auto base = static_cast<std::uint32_t>(at / kChunk * kChunk);
        const std::uint32_t within = static_cast<std::uint32_t>(at) - base;
        const std::size_t n = std::min<std::size_t>(kChunk - within, length - i);
        auto& chunk = m_Chunks[base];
        if (!chunk) {
            chunk = std::make_unique<Chunk>();
            chunk->fill(0xFF);
        }
        std::memcpy(chunk->data() + within, data + i, n);
        i += n;
    }
}

void NorFlash::erase(std::uint32_t offset, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length;) {
        const std::uint64_t at = std::uint64_t{offset} + i;
        if (at >= kSize)
            return;
        const auto base = static_cast<std::uint32_t>(at / kChunk * kChunk);
        const std::uint32_t within = static_cast<std::uint32_t>(at) - base;
        const std::uint32_t n = std::min(kChunk - within, length - i);
        if (auto it = m_Chunks.find(base); it != m_Chunks.end()) {
            if (within == 0 && n == kChunk)
                m_Chunks.erase(it);
            else
                std::memset(it->second->data() + within, 0xFF, n);
        }
        i += n;
    }
}

bool NorFlash::saveTo(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::vector<std::uint8_t> erased(kChunk, 0xFF);
    bool ok = true;
    for (std::uint32_t base = 0; base < kSize && ok; base += kChunk) {
        auto it = m_Chunks.find(base);
        const std::uint8_t* src = it != m_Chunks.end() ? it->second->data() : erased.data();
        ok = std::fwrite(src, 1, kChunk, f) == kChunk;
    }
    return std::fclose(f) == 0 && ok;
}

bool NorFlash::loadFrom(const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    std::vector<std::uint8_t> buffer(kChunk);
    std::uint32_t offset = 0;
    bool tooLong = false;
    while (true) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
        if (n == 0)
            break;
        if (offset >= kSize) {
            tooLong = true;
            break;
        }
        // Erased chunks stay sparse.
        if (std::any_of(buffer.begin(), buffer.begin() + static_cast<long>(n),
                        [](std::uint8_t b) { return b != 0xFF; }))
            write(offset, buffer.data(), n);
        offset += static_cast<std::uint32_t>(n);
    }
    std::fclose(f);
    if (tooLong) {
        if (error)
            *error = path + " is larger than the 32 MB flash";
        return false;
    }
    return true;
}

}  // namespace zrk::sim

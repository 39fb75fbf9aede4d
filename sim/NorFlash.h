#pragma once
// The phone's 32 MB NOR flash (top-boot: 511 sectors of 64 KB, then 8 of 8 KB). Stored sparsely
// in 64 KB chunks; a chunk that was never written reads as erased (FFh), so a fresh phone costs
// no memory.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zrk::sim {

struct NorSector {
    int index;
    std::uint32_t offset;  // bytes from the start of the flash
    std::uint32_t size;    // bytes
};

class NorFlash {
  public:
    static constexpr std::uint32_t kSize = 32u * 1024 * 1024;
    static constexpr int kSectorCount = 519;

    // The sector that starts exactly at this offset, if any.
    static std::optional<NorSector> sectorAt(std::uint32_t offset);
    static NorSector sector(int index);

    // Bytes outside the flash read as FFh.
    std::vector<std::uint8_t> read(std::uint32_t offset, std::uint32_t length) const;
    void write(std::uint32_t offset, const std::uint8_t* data, std::size_t length);
    void erase(std::uint32_t offset, std::uint32_t length);
    bool isErased() const { return m_Chunks.empty(); }

    // The whole flash as one raw file; a shorter file loads from offset 0.
    bool saveTo(const std::string& path) const;
    bool loadFrom(const std::string& path, std::string* error);

  private:
    static constexpr std::uint32_t kChunk = 64 * 1024;
    using Chunk = std::array<std::uint8_t, kChunk>;
    std::unordered_map<std::uint32_t, std::unique_ptr<Chunk>> m_Chunks;
};

}  // namespace zrk::sim

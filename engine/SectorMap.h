#pragma once
// The NOR sectors of the one supported flash (top-boot, 32 MB): 511 sectors of 64 KB, then 8 of
// 8 KB. Starts and sizes are in 16-bit words, as the flash counts them; byte offsets are twice
// that. The map exists from start-up but is active (count 519) only once the flash has been
// identified, and stays active after Stop.
#include <cstdint>
#include <vector>

namespace zrk {

struct SectorRecord {
    std::int32_t index;
    std::int32_t size;   // words
    std::int32_t start;  // words from the start of the flash
    std::uint32_t byteOffset() const { return static_cast<std::uint32_t>(start) * 2; }
    std::uint32_t byteSize() const { return static_cast<std::uint32_t>(size) * 2; }
};

// What the program command of a sector is chosen by.
enum class SectorSizeClass { Size64K = 0, Size16K = 1, Other = 2, NoSector = 3 };

class SectorMap {
  public:
    static constexpr int kSectorCount = 519;

    SectorMap();  // not yet active

    void activate() { m_Count = kSectorCount; }
    int count() const { return m_Count; }
    const SectorRecord& operator[](int i) const { return records()[i]; }
    // The flash's size in bytes, whether or not the map is active yet: the one supported part.
    static constexpr std::uint32_t kFlashBytes = 511u * 0x10000 + 8u * 0x2000;
    // Bytes of the active map (0 before identification).
    std::uint32_t activeBytes() const {
        return m_Count > 0 ? records()[m_Count - 1].byteOffset() + records()[m_Count - 1].byteSize()
                           : 0;
    }

    // Index of the active sector starting at this byte offset, or -1.
    int indexAtOffset(std::uint32_t byteOffset) const;
    SectorSizeClass sizeClassAt(std::uint32_t byteOffset) const;

  private:
    // The one supported part's sectors, shared by every map: an engine is built for each
    // connection (and each fuzz input), and the table never changes.
    static const std::vector<SectorRecord>& records();

    int m_Count = 0;
};

}  // namespace zrk

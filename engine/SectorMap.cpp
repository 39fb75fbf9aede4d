#include "engine/SectorMap.h"

namespace zrk {

SectorMap::SectorMap() = default;

const std::vector<SectorRecord>& SectorMap::records() {
    static const std::vector<SectorRecord> table = [] {
        std::vector<SectorRecord> records;
        records.reserve(kSectorCount);
        for (int i = 0; i <= 510; ++i)
            records.push_back({i, 0x8000, i * 0x8000});
        for (int i = 511; i <= 518; ++i)
            records.push_back({i, 0x1000, 511 * 0x8000 + (i - 511) * 0x1000});
        return records;
    }();
    return table;
}

int SectorMap::indexAtOffset(std::uint32_t byteOffset) const {
    for (int i = 0; i < m_Count; ++i) {
        if (records()[i].byteOffset() == byteOffset)
            return i;
    }
    return -1;
}

SectorSizeClass SectorMap::sizeClassAt(std::uint32_t byteOffset) const {
    const std::int64_t startWords = byteOffset / 2;
    for (int i = 0; i < m_Count; ++i) {
        if (records()[i].start != startWords)
            continue;
        switch (records()[i].size) {
            case 0x8000:
                return SectorSizeClass::Size64K;
            case 0x2000:
                return SectorSizeClass::Size16K;
            default:
                return SectorSizeClass::Other;
        }
    }
    return SectorSizeClass::NoSector;
}

}  // namespace zrk

#pragma once
// Erase and dump walk the selected sectors in ascending order.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/SectorMap.h"

namespace zrk {

// The first selected sector after `after` (-1 for the first of all), or -1 when none is left.
inline int nextSelectedSector(const SectorMap& map, const std::vector<std::int32_t>& selected,
                              int after) {
    const int count = std::min<int>(map.count(), static_cast<int>(selected.size()));
    for (int i = after + 1; i < count; ++i) {
        if (selected[static_cast<std::size_t>(i)])
            return i;
    }
    return -1;
}

}  // namespace zrk

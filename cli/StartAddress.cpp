#include "cli/StartAddress.h"

#include <cctype>
#include <cstdio>

#include "bringup/SectorMap.h"
#include "loader/LoaderStates.h"

namespace zrk::cli {

StartAddressCheck checkStartAddress(const std::string& text) {
    StartAddressCheck result;
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    bool hex = !digits.empty() && digits.size() <= 8;
    for (char c : digits)
        hex = hex && std::isxdigit(static_cast<unsigned char>(c));
    if (!hex) {
        result.error = "'" + text + "' is not a hexadecimal address such as 10020000";
        return result;
    }
    const auto address = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
    SectorMap map;
    map.activate();
    const SectorRecord& last = map[SectorMap::kSectorCount - 1];
    const std::uint32_t end = loader::NOR_BASE + last.byteOffset() + last.byteSize();
    char range[64];
    std::snprintf(range, sizeof range, "%08X to %08X", loader::NOR_BASE, end - 1);
    if (address < loader::NOR_BASE || address >= end) {
        result.error = "the address " + text + " is not in the NOR flash (" + range + ")";
        return result;
    }
    if (map.indexAtOffset(address - loader::NOR_BASE) < 0) {
        result.error = "the address " + text +
                       " does not begin a sector (64 KB sectors up to 11FF0000, then 8 KB)";
        return result;
    }
    result.address = address;
    return result;
}

}  // namespace zrk::cli

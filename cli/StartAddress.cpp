#include "cli/StartAddress.h"

#include <cctype>
#include <cstdio>

#include "engine/SectorMap.h"
#include "engine/StartAddress.h"

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
    // The syntax is stricter than the window's field; the rule itself is the engine's.
    const auto address = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
    SectorMap map;
    map.activate();
    const std::uint32_t end = NOR_BASE + SectorMap::kFlashBytes;
    char range[64];
    std::snprintf(range, sizeof range, "%08X to %08X", NOR_BASE, end - 1);
    const StartAddressVerdict verdict = judgeStartAddress(address, map);
    if (address >= end || verdict.kind == StartAddressVerdict::Kind::OutOfRange) {
        result.error = "the address " + text + " is not in the NOR flash (" + range + ")";
        return result;
    }
    if (verdict.kind == StartAddressVerdict::Kind::NotSectorBegin) {
        result.error = "the address " + text +
                       " does not begin a sector (64 KB sectors up to 11FF0000, then 8 KB)";
        return result;
    }
    result.address = address;
    return result;
}

}  // namespace zrk::cli

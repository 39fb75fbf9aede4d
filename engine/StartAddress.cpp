#include "engine/StartAddress.h"

namespace zrk {

std::uint64_t parseStartAddress(std::string_view text) {
    const auto lineEnd = text.find_first_of("\r\n");
    if (lineEnd != std::string_view::npos)
        text = text.substr(0, lineEnd);
    text = text.substr(0, 16);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    std::uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace zrk

namespace zrk {

StartAddressVerdict judgeStartAddress(std::uint64_t address, const SectorMap& map) {
    StartAddressVerdict verdict;
    if (address < NOR_BASE || address >= kStartAddressLimit)
        return verdict;
    verdict.offset = static_cast<std::uint32_t>(address - NOR_BASE);
    verdict.sectorIndex = map.indexAtOffset(verdict.offset);
    verdict.kind = verdict.sectorIndex < 0 ? StartAddressVerdict::Kind::NotSectorBegin
                                           : StartAddressVerdict::Kind::Accepted;
    return verdict;
}

}  // namespace zrk

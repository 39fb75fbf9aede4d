#include "cli/SectorList.h"

#include <cctype>
#include <optional>

namespace zrk::cli {

namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// Decimal only: sector numbers are what the sector list shows, and "010" must not turn octal.
std::optional<long> parseNumber(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

SectorListResult parseSectorList(const std::string& text, int sectorCount) {
    SectorListResult result;
    const std::string last = std::to_string(sectorCount - 1);
    auto fail = [&](const std::string& why) {
        result.flags.clear();
        result.error = why;
        return result;
    };
    const std::string whole = trim(text);
    if (whole.empty())
        return fail("the sector list is empty; give sector numbers such as 0-3,511 or 'all'");
    result.flags.assign(static_cast<std::size_t>(sectorCount), 0);
    if (whole == "all" || whole == "ALL" || whole == "All") {
        result.flags.assign(static_cast<std::size_t>(sectorCount), 1);
        return result;
    }
    std::size_t start = 0;
    while (start <= whole.size()) {
        const std::size_t comma = std::min(whole.find(',', start), whole.size());
        const std::string item = trim(whole.substr(start, comma - start));
        start = comma + 1;
        if (item.empty())
            return fail("empty entry in the sector list '" + whole + "'");
        const std::size_t dash = item.find('-');
        const std::string fromText = trim(item.substr(0, dash));
        const std::string toText =
            dash == std::string::npos ? fromText : trim(item.substr(dash + 1));
        const auto from = parseNumber(fromText);
        const auto to = parseNumber(toText);
        if (!from || !to)
            return fail("'" + item + "' is not a sector number or a range such as 0-3");
        for (long n : {*from, *to}) {
            if (n >= sectorCount)
                return fail("sector " + std::to_string(n) + " does not exist; sectors are 0 to " +
                            last);
        }
        if (*from > *to)
            return fail("the range '" + item + "' runs backwards; write it as " +
                        std::to_string(*to) + "-" + std::to_string(*from));
        for (long n = *from; n <= *to; ++n)
            result.flags[static_cast<std::size_t>(n)] = 1;
    }
    return result;
}

}  // namespace zrk::cli

#pragma once
// printf-style formatting for the protocol's log and message texts, which are kept in their
// original printf form ("Address 0x%08X... ") so they can be compared verbatim.
#include <cstdio>
#include <string>

namespace zrk {

template <typename... Args>
std::string formatText(const char* pattern, Args... args) {
    const int needed = std::snprintf(nullptr, 0, pattern, args...);
    if (needed <= 0)
        return {};
    std::string out(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(out.data(), out.size(), pattern, args...);
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

}  // namespace zrk

#pragma once
// printf-style formatting for the protocol's log and message texts, which are kept in their
// original printf form ("Address 0x%08X... ") so they can be compared verbatim.
#include <cstdio>
#include <string>

namespace zrk {

template <typename... Args>
std::string formatText(const char* pattern, Args... args) {
    // Nearly every text is a line: formatted once into room on the stack, and only a longer
    // one (a path, a name) again into its own string.
    char line[256];
    const int needed = std::snprintf(line, sizeof line, pattern, args...);
    if (needed <= 0)
        return {};
    if (static_cast<std::size_t>(needed) < sizeof line)
        return std::string(line, static_cast<std::size_t>(needed));
    std::string out(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(out.data(), out.size(), pattern, args...);
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

}  // namespace zrk

#pragma once
// printf-style formatting for the protocol's log and message texts, which are kept in their
// original printf form ("Address 0x%08X... ") so they can be compared verbatim.
#include <cstdio>
#include <string>
#include <string_view>

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

// A formatted log line that lives on the stack: the log takes it as a view, so a line costs no
// allocation unless it is longer than the room (a path, a name), which goes to the heap.
class FormattedLine {
  public:
    template <typename... Args>
    explicit FormattedLine(const char* pattern, Args... args) {
        const int needed = std::snprintf(m_Line, sizeof m_Line, pattern, args...);
        if (needed <= 0)
            return;
        m_Length = static_cast<std::size_t>(needed);
        if (m_Length >= sizeof m_Line) {
            m_Long.assign(m_Length + 1, '\0');
            std::snprintf(m_Long.data(), m_Long.size(), pattern, args...);
            m_Long.resize(m_Length);
        }
    }
    FormattedLine(const FormattedLine&) = delete;
    FormattedLine& operator=(const FormattedLine&) = delete;

    std::string_view view() const {
        return m_Length < sizeof m_Line ? std::string_view(m_Line, m_Length) : m_Long;
    }
    operator std::string_view() const { return view(); }

  private:
    char m_Line[256];
    std::size_t m_Length = 0;
    std::string m_Long;
};

template <typename... Args>
FormattedLine formatLine(const char* pattern, Args... args) {
    return FormattedLine(pattern, args...);
}

}  // namespace zrk

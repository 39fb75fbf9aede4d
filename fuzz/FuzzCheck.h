#pragma once
// How a harness reports a broken invariant: the reason and the last actions on stderr, then a
// trap, which libFuzzer records as a crash with the input that caused it.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "engine/Outcome.h"

namespace zrk::fuzz {

// The actions of the current input, newest last, printed with a violation. An action is noted
// before nearly every step, so each is written in place into a fixed line (cut at its width)
// instead of a string of its own: an allocation per step cost more than many of the steps.
class Trail {
  public:
    static constexpr std::size_t kKept = 40;
    static constexpr std::size_t kWidth = 160;

    // The line being written; the parts are appended in order.
    class Line {
      public:
        explicit Line(char* line) : m_At(line), m_End(line + kWidth) { *m_At = '\0'; }
        Line& text(std::string_view s) {
            const std::size_t n = std::min(s.size(), static_cast<std::size_t>(m_End - m_At));
            std::memcpy(m_At, s.data(), n);
            m_At += n;
            *m_At = '\0';
            return *this;
        }
        Line& number(long long n) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
            return text({digits, static_cast<std::size_t>(end - digits)});
        }
        // The first bytes as hex, then how many there were.
        Line& hex(const std::uint8_t* bytes, std::size_t count, std::size_t max = 12) {
            // Written in place: a phone byte's step writes one of these, and a copy per byte
            // was a share of every step.
            static constexpr char kDigits[] = "0123456789ABCDEF";
            for (std::size_t i = 0; i < count && i < max && m_End - m_At >= 3; ++i) {
                m_At[0] = ' ';
                m_At[1] = kDigits[bytes[i] >> 4];
                m_At[2] = kDigits[bytes[i] & 15];
                m_At += 3;
            }
            *m_At = '\0';
            if (count > max)
                text(" ... (").number(static_cast<long long>(count)).text(" bytes)");
            return *this;
        }

      private:
        char* m_At;
        char* m_End;  // the terminator's place when the line is full
    };

    Line add(std::string_view action) {
        char* line = m_Lines[(m_First + m_Count) % kKept].data();
        if (m_Count == kKept)
            m_First = (m_First + 1) % kKept;
        else
            ++m_Count;
        Line written(line);
        written.text(action);
        return written;
    }
    void clear() { m_First = m_Count = 0; }
    // Oldest first.
    template <typename Each>
    void forEach(Each each) const {
        for (std::size_t i = 0; i < m_Count; ++i)
            each(m_Lines[(m_First + i) % kKept].data());
    }

  private:
    std::array<std::array<char, kWidth + 1>, kKept> m_Lines{};
    std::size_t m_First = 0;
    std::size_t m_Count = 0;
};

inline Trail& trail() {
    static Trail t;
    return t;
}

inline const char* kindName(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::Completed:
            return "completed";
        case OutcomeKind::Failed:
            return "failed";
        case OutcomeKind::Abandoned:
            return "abandoned";
        case OutcomeKind::Stopped:
            return "stopped";
        case OutcomeKind::LinkLost:
            return "link lost";
    }
    return "?";
}

[[noreturn]] inline void violated(const std::string& what) {
    std::fprintf(stderr, "\n== invariant violated: %s\n== last actions:\n", what.c_str());
    trail().forEach([](const char* action) { std::fprintf(stderr, "   %s\n", action); });
    std::fflush(stderr);
    __builtin_trap();
}

// With ZRK_FUZZ_SHOW set, a harness prints each outcome: to see how deep a seed reaches.
inline void show(const char* operation, const char* kind) {
    static const bool enabled = std::getenv("ZRK_FUZZ_SHOW") != nullptr;
    if (enabled)
        std::fprintf(stderr, "outcome: %s %s\n", operation, kind);
}

// The checks run after nearly every step: a fixed text costs nothing until it is needed, and
// a text put together from values is best handed over as a function that makes it.
inline void check(bool condition, const char* what) {
    if (!condition)
        violated(what);
}
inline void check(bool condition, const std::string& what) {
    if (!condition)
        violated(what);
}
template <typename MakeText>
requires std::is_invocable_r_v<std::string, MakeText&>
inline void check(bool condition, MakeText&& what) {
    if (!condition)
        violated(what());
}

}  // namespace zrk::fuzz

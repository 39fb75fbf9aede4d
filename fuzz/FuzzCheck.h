#pragma once
// How a harness reports a broken invariant: the reason and the last actions on stderr, then a
// trap, which libFuzzer records as a crash with the input that caused it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Outcome.h"

namespace zrk::fuzz {

// The actions of the current input, newest last, printed with a violation.
class Trail {
  public:
    void add(std::string action) {
        if (m_Actions.size() == kKept)
            m_Actions.erase(m_Actions.begin());
        m_Actions.push_back(std::move(action));
    }
    void clear() { m_Actions.clear(); }
    const std::vector<std::string>& actions() const { return m_Actions; }

  private:
    static constexpr std::size_t kKept = 40;
    std::vector<std::string> m_Actions;
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
    for (const auto& a : trail().actions())
        std::fprintf(stderr, "   %s\n", a.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

// With ZRK_FUZZ_SHOW set, a harness prints each outcome: to see how deep a seed reaches.
inline void show(const char* operation, const char* kind) {
    static const bool enabled = std::getenv("ZRK_FUZZ_SHOW") != nullptr;
    if (enabled)
        std::fprintf(stderr, "outcome: %s %s\n", operation, kind);
}

inline void check(bool condition, const std::string& what) {
    if (!condition)
        violated(what);
}

}  // namespace zrk::fuzz

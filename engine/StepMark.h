#pragma once
// Whether a step took the byte it was fed: the engine looks before and after each step. A step
// that moved its state on, sent, or asked for a frame accepted a reply; one that left all of
// them as they were ignored the byte (noise, a phone talking out of turn), and the silence limit
// keeps running.
#include <cstddef>
#include <cstdint>

namespace zrk {

class Phase;

struct StepMark {
    std::int32_t state;
    bool loaderReady;
    std::uint64_t sends;
    std::size_t frame;
    const Phase* phase;
    bool operator==(const StepMark&) const = default;
};

}  // namespace zrk

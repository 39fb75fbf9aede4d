#pragma once
// A group of protocol steps that the engine feeds while it is current: the bring-up, the NOR
// operations, the file-system operations. A phase sees only the PhaseContext it was built on.
#include <cstdint>
#include <span>

namespace zrk {

class Phase {
  public:
    virtual ~Phase() = default;
    // One received byte in one of this phase's states.
    virtual void step(std::uint8_t byte) = 0;
    // The whole frame this phase asked for with PhaseContext::requestFrame.
    virtual void frame(std::span<const std::uint8_t> bytes) { (void)bytes; }
};

}  // namespace zrk

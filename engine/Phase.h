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
    // The exchange whose reply this phase waits for in one of its states, in words that can
    // stand in a failure ("send the image length"); empty for a state that waits for nothing.
    virtual const char* exchangeName(std::int32_t state) const {
        (void)state;
        return "";
    }
    // Whether this state waits for a phone that has not spoken yet (START's first state).
    virtual bool waitsForPhone(std::int32_t state) const {
        (void)state;
        return false;
    }
};

}  // namespace zrk

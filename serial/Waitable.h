#pragma once
// What a Waiter waits on, in words every system has. A POSIX descriptor or a Windows handle
// fits in the one integer; only serial/<platform>/ makes one or looks inside it.
#include <cstdint>

namespace zrk {

class Waitable {
  public:
    // Nothing to wait on.
    constexpr Waitable() = default;
    // The system's own descriptor or handle, as an integer; -1 stands for none on both.
    constexpr explicit Waitable(std::intptr_t native) : m_Native(native) {}

    constexpr bool valid() const { return m_Native != kNone; }
    constexpr std::intptr_t native() const { return m_Native; }
    friend constexpr bool operator==(Waitable, Waitable) = default;

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_Native = kNone;
};

// What a wait saw on a device: one or more of these.
enum class WaitEvent : std::uint8_t {
    Readable = 1,  // input waits (or a hang-up or error does, which a read then tells)
    HungUp = 2,    // the other side went away; what it sent before may still wait
    Error = 4,     // the device failed
    Closed = 8,    // it was no longer open when waited on
};

class WaitEvents {
  public:
    constexpr WaitEvents() = default;
    constexpr WaitEvents(WaitEvent event) : m_Bits(static_cast<std::uint8_t>(event)) {}

    constexpr bool has(WaitEvent event) const {
        return (m_Bits & static_cast<std::uint8_t>(event)) != 0;
    }
    constexpr bool none() const { return m_Bits == 0; }
    constexpr WaitEvents& operator|=(WaitEvents other) {
        m_Bits = static_cast<std::uint8_t>(m_Bits | other.m_Bits);
        return *this;
    }
    friend constexpr WaitEvents operator|(WaitEvents a, WaitEvents b) { return a |= b; }
    friend constexpr bool operator==(WaitEvents, WaitEvents) = default;

  private:
    std::uint8_t m_Bits = 0;
};

}  // namespace zrk

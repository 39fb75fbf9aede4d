#pragma once
// The last bring-up step: the boot-loader's 8-byte flash identification. The one supported part
// activates the sector map and moves the link into the loader phase; anything else stops it.
#include <array>
#include <cstdint>

namespace zrk {

class PhaseContext;

class FlashIdentification {
  public:
    static constexpr std::uint16_t kManufacturer = 0x00EC;
    static constexpr std::uint16_t kDevice = 0x22FC;
    static constexpr const char* kFlashName = "LMR20TQ55P";
    static constexpr int kReplySize = 8;

    explicit FlashIdentification(PhaseContext& context) : m_Context(context) {}

    void reset() { m_Count = 0; }
    void step(std::uint8_t byte);

  private:
    PhaseContext& m_Context;
    std::array<std::uint8_t, kReplySize> m_Reply{};
    int m_Count = 0;
};

}  // namespace zrk

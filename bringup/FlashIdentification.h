#pragma once
// The last bring-up step: the boot-loader's 8-byte flash identification. The one supported part
// activates the sector map and moves the link into the loader phase; anything else stops it.
#include <cstdint>
#include <span>

namespace zrk {

class PhaseContext;

class FlashIdentification {
  public:
    static constexpr std::uint16_t kManufacturer = 0x00EC;
    static constexpr std::uint16_t kDevice = 0x22FC;
    static constexpr const char* kFlashName = "LMR20TQ55P";
    static constexpr int kReplySize = 8;

    explicit FlashIdentification(PhaseContext& context) : m_Context(context) {}

    // The base is set: ask for the identification.
    void begin();

  private:
    void identified(std::span<const std::uint8_t> reply);

    PhaseContext& m_Context;
};

}  // namespace zrk

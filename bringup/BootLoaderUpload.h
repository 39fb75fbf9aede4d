#pragma once
// The boot-loader goes to the phone's RAM through the pre-loader: its size, then 2048-byte
// chunks, each preceded by a DMA set-up and confirmed by its sum8; then the jump, the NOR chip
// select base, and the request for the flash identification.
#include <cstdint>

namespace zrk {

class PhaseContext;
class BringUp;

class BootLoaderUpload {
  public:
    static constexpr std::uint32_t kChunkSize = 2048;
    static constexpr std::uint8_t LOADER_READY = 0xAB;
    static constexpr std::uint32_t CS0_BASE = 0x10000000;

    BootLoaderUpload(PhaseContext& context, BringUp& bringUp)
        : m_Context(context), m_BringUp(bringUp) {}

    void reset();
    void begin();  // the speed echo was right: announce the size

  private:
    void setUpChunk();
    void sendNextChunk();
    void jumpToLoader();
    void setFlashBase();

    PhaseContext& m_Context;
    BringUp& m_BringUp;
    std::uint32_t m_BootOffset = 0;
    std::uint32_t m_BootRemaining = 0;
    std::uint32_t m_ProgressCount = 0;
};

}  // namespace zrk

#pragma once
// "Erase...": one erase command per selected sector, each confirmed by the sum8 of its offset.
#include <cstdint>

namespace zrk {

class PhaseContext;

class NorErase {
  public:
    explicit NorErase(PhaseContext& context) : m_Context(context) {}

    void press();
    void onStartReply();
    void step(std::uint8_t byte);  // WAIT_ERASE

  private:
    void requestErase();

    PhaseContext& m_Context;
    int m_SectorIndex = -1;
    std::uint32_t m_Erased = 0;
    std::uint64_t m_ErasedBytes = 0;
};

}  // namespace zrk

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

  private:
    void requestErase();
    void onErased();
    // A wrong sum: the box comes before the failure, and nothing is logged.
    void failSector(std::uint8_t byte);

    PhaseContext& m_Context;
    int m_SectorIndex = -1;
    std::uint32_t m_Erased = 0;
    std::uint64_t m_ErasedBytes = 0;
};

}  // namespace zrk

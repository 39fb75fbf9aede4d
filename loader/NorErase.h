#pragma once
// "Erase...": one erase command per selected sector, each confirmed by the sum8 of its offset.
#include <cstdint>

namespace zrk {

class ProtocolEngine;

class NorErase {
  public:
    explicit NorErase(ProtocolEngine& engine) : m_Engine(engine) {}

    void press();
    void onStartReply();
    void step(std::uint8_t byte);  // WAIT_ERASE

  private:
    void requestErase();

    ProtocolEngine& m_Engine;
    int m_SectorIndex = -1;
    std::uint32_t m_Erased = 0;
};

}  // namespace zrk

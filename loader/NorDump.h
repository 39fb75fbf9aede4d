#pragma once
// "Dump...": the selected sectors read back in 8192-byte blocks, each with its sum8, into a raw
// file (the sectors back to back, nothing else). Each request puts the link in block mode so
// the block reaches us whole.
#include <cstdint>
#include <string>

namespace zrk {

class PhaseContext;

class NorDump {
  public:
    static constexpr const char* kFilter = "Hex Files (*.hex)|*.hex|All Files (*.*)|*.*||";

    explicit NorDump(PhaseContext& context) : m_Context(context) {}

    void press();
    void onStartReply();
    void blockStep(const std::uint8_t* block, std::uint8_t checksum);

  private:
    void requestBlock(std::uint32_t offset);
    void requestSector();
    void failWriting(const std::string& why);

    PhaseContext& m_Context;
    int m_SectorIndex = -1;
    std::uint32_t m_TotalKb = 0;
    std::uint32_t m_DumpedKb = 0;
    std::uint32_t m_BlocksInSector = 0;
    std::string m_Path;
};

}  // namespace zrk

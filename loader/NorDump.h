#pragma once
// "Dump...": the selected sectors read back in 8192-byte blocks, each with its sum8, into a raw
// file (the sectors back to back, nothing else). Each request puts the link in block mode so
// the block reaches us whole.
#include <cstdint>
#include <string>

#include "engine/HeldFiles.h"
#include "files/OutputFile.h"

namespace zrk {

class PhaseContext;

class NorDump : private HeldFiles {
  public:
    static constexpr const char* kFilter = "Hex Files (*.hex)|*.hex|All Files (*.*)|*.*||";

    explicit NorDump(PhaseContext& context);
    NorDump(const NorDump&) = delete;
    NorDump& operator=(const NorDump&) = delete;

    void press();
    void onStartReply();
    void blockStep(const std::uint8_t* block, std::uint8_t checksum);

  private:
    void requestBlock(std::uint32_t offset);
    void requestSector();
    void failWriting(const std::string& why);
    void tellWhereTheBlocksAre();

    // HeldFiles: the file of a dump that did not complete keeps its blocks under a name of its
    // own; everything else is discarded.
    void closeFiles() override { m_File.discard(); }
    void tellWhatStopLeft() override;
    bool holdsOpenFile() const override { return m_File.isOpen(); }

    PhaseContext& m_Context;
    int m_SectorIndex = -1;
    std::uint32_t m_TotalKb = 0;
    std::uint32_t m_DumpedKb = 0;
    std::uint32_t m_BlocksInSector = 0;
    std::string m_Path;
    OutputFile m_File;
};

}  // namespace zrk

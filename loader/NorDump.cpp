#include "loader/NorDump.h"

#include <algorithm>
#include <utility>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/OpenFile.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"
#include "loader/LoaderExchange.h"
#include "loader/LoaderStates.h"
#include "loader/SectorWalk.h"

namespace zrk {

using namespace loader;

NorDump::NorDump(PhaseContext& context) : m_Context(context) {
    m_Context.holdFiles(*this);
}

void NorDump::tellWhereTheBlocksAre() {
    m_Context.log(formatLine("\r\n** The blocks received so far are in %s.\r\n",
                             m_File.keepPartial().c_str()));
}

void NorDump::tellWhatStopLeft() {
    if (m_File.isPending())
        m_Context.log("\r\n** The dump is incomplete; the blocks received so far are in " +
                      m_File.keepPartial() + ".\r\n");
}

void NorDump::press() {
    DownloaderView& view = m_Context.view();
    if (!m_Context.chooseSectors()) {
        m_Context.refuse(Operation::Dump, FailureCause::Refused, "no sectors chosen");
        return;
    }
    const SectorMap& map = m_Context.sectorMap();
    const std::vector<std::int32_t>& chosen = m_Context.sectorChoice();
    m_TotalKb = 0;
    for (int i = nextSelectedSector(map, chosen, -1); i >= 0;
         i = nextSelectedSector(map, chosen, i))
        m_TotalKb += map[i].byteSize() / 1024;
    m_SectorIndex = nextSelectedSector(map, chosen, -1);
    if (m_TotalKb == 0) {
        view.messageBox("No sector selected!", MessageIcon::Warning);
        m_Context.refuse(Operation::Dump, FailureCause::Refused, "No sector selected!");
        return;
    }
    m_Path = m_Context.chooseSaveFile({".hex", kFilter});
    if (m_Path.empty()) {
        view.messageBox("No file selected!", MessageIcon::Warning);
        m_Context.refuse(Operation::Dump, FailureCause::File, "No file selected!");
        return;
    }
    // Under a name of its own until the last block is in: an earlier dump under the same name
    // survives a dump that fails.
    std::string whyNot;
    if (!m_File.create(m_Path, OutputFile::Existing::Replace, &whyNot)) {
        m_Context.log("\r\n** " + whyNot + "\r\n");
        view.messageBox("Internal Error! (file creation)", MessageIcon::Error);
        m_Context.refuse(Operation::Dump, FailureCause::File, "Internal Error! (file creation)");
        return;
    }
    m_Context.startTiming();
    view.setProgressRange(m_TotalKb);
    view.setProgressUnit(ProgressUnit::Kilobytes);
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Context.log("** Dumping NOR-Flash **\r\n\r\n");
    m_Context.beginOperation(OP_DUMP);
}

void NorDump::requestBlock(std::uint32_t offset) {
    m_Context.requestFrame(kDumpFrameSize);
    const auto at = bigEndian32(offset);
    // The block and its sum come as one frame, to blockStep.
    m_Context.begin(std::move(loaderExchange(LoaderState::WAIT_DUMP_BLOCK, "read a dump block")
                                  .send({CMD_DUMP_BLOCK, at[0], at[1], at[2], at[3]})
                                  .expectNothingYet()));
}

void NorDump::requestSector() {
    const SectorRecord& sector = m_Context.sectorMap()[m_SectorIndex];
    m_Context.log(formatLine("Dumping sector (0x%08X)... ", NOR_BASE + sector.byteOffset()));
    requestBlock(sector.byteOffset());
}

void NorDump::onStartReply() {
    m_DumpedKb = 0;
    m_Context.setState(stateNumber(LoaderState::WAIT_DUMP_BLOCK));
    m_BlocksInSector = 0;
    requestSector();
}

void NorDump::failWriting(const std::string& why) {
    // The file would lack the block; a dump reported complete must hold every byte.
    m_Context.log(
        formatText("\r\n** Could not write the dump file %s (%s); the dump is stopped.\r\n",
                   m_Path.c_str(), why.c_str()));
    tellWhereTheBlocksAre();
    m_Context.view().messageBox("The dump file could not be written.", MessageIcon::Error);
    m_Context.reportFailure(FailureCause::File,
                            "the dump file " + m_Path + " could not be written");
    m_Context.finishOperation();
}

void NorDump::blockStep(const std::uint8_t* block, std::uint8_t checksum) {
    if (sum8(block, kDumpBlockSize) != checksum) {
        // The blocks before this one stay in the part file; it closes at Stop.
        tellWhereTheBlocksAre();
        m_Context.setState(IDLE);
        m_Context.setOperationKind(OP_FIRMWARE);
        m_Context.view().messageBox("Checksum mismatched!", MessageIcon::Error);
        m_Context.abandon(FailureCause::PhoneReply, "Checksum mismatched!");
        return;
    }
    m_DumpedKb += 8;
    m_Context.countBytes(kDumpBlockSize);
    m_Context.view().setProgressPos(m_DumpedKb);
    if (!m_File.write(block, kDumpBlockSize)) {
        failWriting(m_File.writeError());
        return;
    }
    ++m_BlocksInSector;
    const SectorRecord& sector = m_Context.sectorMap()[m_SectorIndex];
    if (m_BlocksInSector < sector.byteSize() / kDumpBlockSize) {
        requestBlock(sector.byteOffset() + m_BlocksInSector * kDumpBlockSize);
        return;
    }
    m_Context.log("OK!\r\n");
    m_BlocksInSector = 0;
    const int next =
        nextSelectedSector(m_Context.sectorMap(), m_Context.sectorChoice(), m_SectorIndex);
    if (next >= 0) {
        m_SectorIndex = next;
        requestSector();
        return;
    }
    std::string whyNot;
    if (!m_File.commit(&whyNot)) {
        failWriting(whyNot);
        return;
    }
    const std::int64_t span = m_Context.secondsSinceStart();
    m_Context.log(formatElapsed("\r\n** Dump Time %M:%S **\r\n", span));
    m_Context.log(formatLine("** (Total %d KBytes) **\r\n", static_cast<int>(m_TotalKb)));
    m_Context.setState(IDLE);
    m_Context.view().messageBox("Dump Completed!", MessageIcon::Information);
    m_Context.reportCompleted(std::uint64_t{m_TotalKb} * 1024);
    m_Context.finishOperation();
}

}  // namespace zrk

#include "loader/NorDump.h"

#include <algorithm>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/ProtocolEngine.h"
#include "engine/TextFormat.h"
#include "loader/LoaderStates.h"
#include "loader/SectorWalk.h"
#include "serial/SerialLink.h"

namespace zrk {

using namespace loader;

void NorDump::press() {
    DownloaderView& view = m_Engine.view();
    std::fill(m_Engine.sectorSelected.begin(), m_Engine.sectorSelected.end(), 0);
    if (!view.selectSectors(m_Engine.sectorMap, m_Engine.sectorSelected))
        return;
    const SectorMap& map = m_Engine.sectorMap;
    m_TotalKb = 0;
    for (int i = nextSelectedSector(map, m_Engine.sectorSelected, -1); i >= 0;
         i = nextSelectedSector(map, m_Engine.sectorSelected, i))
        m_TotalKb += map[i].byteSize() / 1024;
    m_SectorIndex = nextSelectedSector(map, m_Engine.sectorSelected, -1);
    if (m_TotalKb == 0) {
        view.messageBox("No sector selected!", MessageIcon::Warning);
        return;
    }
    m_Path = view.chooseSaveFile({".hex", kFilter});
    if (m_Path.empty()) {
        view.messageBox("No file selected!", MessageIcon::Warning);
        return;
    }
    if (!m_Engine.dumpFile.createForWriting(m_Path)) {
        view.messageBox("Internal Error! (file creation)", MessageIcon::Error);
        return;
    }
    m_Engine.startTime = m_Engine.clock().nowSeconds();
    view.setProgressRange(m_TotalKb);
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Engine.log("** Dumping NOR-Flash **\r\n\r\n");
    m_Engine.beginOperation(OP_DUMP);
}

void NorDump::requestBlock(std::uint32_t offset) {
    // Block mode before the request: the watcher must not wake us for a part of the reply.
    m_Engine.link().setBlockMode(true);
    const auto at = bigEndian32(offset);
    m_Engine.send({CMD_DUMP_BLOCK, at[0], at[1], at[2], at[3]});
}

void NorDump::requestSector() {
    const SectorRecord& sector = m_Engine.sectorMap[m_SectorIndex];
    m_Engine.log(formatText("Dumping sector (0x%08X)... ", NOR_BASE + sector.byteOffset()));
    requestBlock(sector.byteOffset());
}

void NorDump::onStartReply() {
    m_DumpedKb = 0;
    m_Engine.ProtocolState = WAIT_DUMP_BLOCK;
    m_BlocksInSector = 0;
    requestSector();
}

void NorDump::failWriting() {
    // The file would lack the block; a dump reported complete must hold every byte.
    m_Engine.log(formatText("\r\n** Could not write the dump file %s; the dump is stopped.\r\n",
                            m_Path.c_str()));
    m_Engine.view().messageBox("The dump file could not be written.", MessageIcon::Error);
    m_Engine.finishOperation();
}

void NorDump::blockStep(const std::uint8_t* block, std::uint8_t checksum) {
    if (sum8(block, kDumpBlockSize) != checksum) {
        // The blocks before this one stay in the file; it closes at Stop.
        m_Engine.ProtocolState = IDLE;
        m_Engine.OperationKind = OP_FIRMWARE;
        m_Engine.view().messageBox("Checksum mismatched!", MessageIcon::Error);
        return;
    }
    m_DumpedKb += 8;
    m_Engine.view().setProgressPos(m_DumpedKb);
    if (!m_Engine.dumpFile.write(block, kDumpBlockSize)) {
        failWriting();
        return;
    }
    ++m_BlocksInSector;
    const SectorRecord& sector = m_Engine.sectorMap[m_SectorIndex];
    if (m_BlocksInSector < sector.byteSize() / kDumpBlockSize) {
        requestBlock(sector.byteOffset() + m_BlocksInSector * kDumpBlockSize);
        return;
    }
    m_Engine.log("OK!\r\n");
    m_BlocksInSector = 0;
    const int next = nextSelectedSector(m_Engine.sectorMap, m_Engine.sectorSelected, m_SectorIndex);
    if (next >= 0) {
        m_SectorIndex = next;
        requestSector();
        return;
    }
    if (!m_Engine.dumpFile.close()) {
        failWriting();
        return;
    }
    const std::int64_t span = m_Engine.clock().nowSeconds() - m_Engine.startTime;
    m_Engine.log(formatElapsed("\r\n** Dump Time %M:%S **\r\n", span));
    m_Engine.log(formatText("** (Total %d KBytes) **\r\n", static_cast<int>(m_TotalKb)));
    m_Engine.ProtocolState = IDLE;
    m_Engine.view().messageBox("Dump Completed!", MessageIcon::Information);
    m_Engine.finishOperation();
}

}  // namespace zrk

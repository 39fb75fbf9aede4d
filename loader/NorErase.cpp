#include "loader/NorErase.h"

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/ProtocolEngine.h"
#include "engine/TextFormat.h"
#include "loader/LoaderStates.h"
#include "loader/SectorWalk.h"

namespace zrk {

using namespace loader;

void NorErase::press() {
    DownloaderView& view = m_Engine.view();
    std::fill(m_Engine.sectorSelected.begin(), m_Engine.sectorSelected.end(), 0);
    if (!view.selectSectors(m_Engine.sectorMap, m_Engine.sectorSelected))
        return;
    std::uint32_t count = 0;
    for (int i = nextSelectedSector(m_Engine.sectorMap, m_Engine.sectorSelected, -1); i >= 0;
         i = nextSelectedSector(m_Engine.sectorMap, m_Engine.sectorSelected, i))
        ++count;
    m_SectorIndex = nextSelectedSector(m_Engine.sectorMap, m_Engine.sectorSelected, -1);
    if (count == 0) {
        view.messageBox("No sector selected!", MessageIcon::Warning);
        return;
    }
    m_Engine.startTime = m_Engine.clock().nowSeconds();
    view.setProgressRange(count);
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Engine.log("** Erasing NOR-Flash **\r\n\r\n");
    m_Engine.beginOperation(OP_ERASE);
}

void NorErase::requestErase() {
    const SectorRecord& sector = m_Engine.sectorMap[m_SectorIndex];
    m_Engine.log(formatText("Erasing sector (0x%08X)... ", NOR_BASE + sector.byteOffset()));
    const auto offset = bigEndian32(sector.byteOffset());
    m_Engine.send({CMD_ERASE_SECTOR, offset[0], offset[1], offset[2], offset[3]});
    m_Engine.expectedReply = sum8(offset);
}

void NorErase::onStartReply() {
    m_Erased = 0;
    m_Engine.ProtocolState = WAIT_ERASE;
    requestErase();
}

void NorErase::step(std::uint8_t byte) {
    if (byte != m_Engine.expectedReply) {
        m_Engine.ProtocolState = IDLE;
        m_Engine.view().messageBox("Fail to erase sector!", MessageIcon::Error);
        m_Engine.finishOperation();
        return;
    }
    ++m_Erased;
    m_Engine.view().setProgressPos(m_Erased);
    m_Engine.log("OK!\r\n");
    const int next = nextSelectedSector(m_Engine.sectorMap, m_Engine.sectorSelected, m_SectorIndex);
    if (next >= 0) {
        m_SectorIndex = next;
        requestErase();
        return;
    }
    const std::int64_t span = m_Engine.clock().nowSeconds() - m_Engine.startTime;
    m_Engine.log(formatElapsed("\r\n** Erasing Time %M:%S **\r\n", span));
    m_Engine.ProtocolState = IDLE;
    m_Engine.view().messageBox("Erasing Completed!", MessageIcon::Information);
    m_Engine.finishOperation();
}

}  // namespace zrk

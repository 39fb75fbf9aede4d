#include "loader/NorErase.h"

#include <optional>
#include <utility>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"
#include "loader/LoaderExchange.h"
#include "loader/LoaderStates.h"
#include "loader/SectorWalk.h"

namespace zrk {

using namespace loader;

void NorErase::press() {
    DownloaderView& view = m_Context.view();
    if (!m_Context.chooseSectors()) {
        m_Context.refuse(Operation::Erase, FailureCause::Refused, "no sectors chosen");
        return;
    }
    std::uint32_t count = 0;
    const SectorMap& map = m_Context.sectorMap();
    const std::vector<std::int32_t>& chosen = m_Context.sectorChoice();
    for (int i = nextSelectedSector(map, chosen, -1); i >= 0;
         i = nextSelectedSector(map, chosen, i))
        ++count;
    m_SectorIndex = nextSelectedSector(map, chosen, -1);
    if (count == 0) {
        view.messageBox("No sector selected!", MessageIcon::Warning);
        m_Context.refuse(Operation::Erase, FailureCause::Refused, "No sector selected!");
        return;
    }
    m_Context.startTiming();
    view.setProgressRange(count);
    view.setProgressUnit(ProgressUnit::Sectors);
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Context.log("** Erasing NOR-Flash **\r\n\r\n");
    m_Context.beginOperation(OP_ERASE);
}

void NorErase::requestErase() {
    const SectorRecord& sector = m_Context.sectorMap()[m_SectorIndex];
    m_Context.log(formatLine("Erasing sector (0x%08X)... ", NOR_BASE + sector.byteOffset()));
    const auto offset = bigEndian32(sector.byteOffset());
    m_Context.begin(
        std::move(loaderExchange(LoaderState::WAIT_ERASE, "erase a sector")
                      .send({CMD_ERASE_SECTOR, offset[0], offset[1], offset[2], offset[3]})
                      .expectSum8Of(offset)
                      .then([this] { onErased(); })
                      .otherwise([this](std::uint8_t byte) { failSector(byte); })));
}

void NorErase::onStartReply() {
    m_Erased = 0;
    m_ErasedBytes = 0;
    m_Context.setState(stateNumber(LoaderState::WAIT_ERASE));
    requestErase();
}

void NorErase::failSector(std::uint8_t byte) {
    const std::optional<std::uint8_t> wanted = m_Context.armedExchange()->expected();
    // Idle before the box: whatever the phone sends while it is open is dropped.
    m_Context.setState(IDLE);
    m_Context.view().messageBox("Fail to erase sector!", MessageIcon::Error);
    m_Context.wrongReply(byte, wanted, {}, Ending::Finish, "Fail to erase sector!");
}

void NorErase::onErased() {
    ++m_Erased;
    m_ErasedBytes += m_Context.sectorMap()[m_SectorIndex].byteSize();
    m_Context.countBytes(m_Context.sectorMap()[m_SectorIndex].byteSize());
    m_Context.view().setProgressPos(m_Erased);
    m_Context.log("OK!\r\n");
    const int next =
        nextSelectedSector(m_Context.sectorMap(), m_Context.sectorChoice(), m_SectorIndex);
    if (next >= 0) {
        m_SectorIndex = next;
        requestErase();
        return;
    }
    const std::int64_t span = m_Context.secondsSinceStart();
    m_Context.log(formatElapsed("\r\n** Erasing Time %M:%S **\r\n", span));
    m_Context.setState(IDLE);
    m_Context.view().messageBox("Erasing Completed!", MessageIcon::Information);
    m_Context.reportCompleted(m_ErasedBytes);
    m_Context.finishOperation();
}

}  // namespace zrk

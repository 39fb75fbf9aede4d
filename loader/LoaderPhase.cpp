#include "loader/LoaderPhase.h"

#include "engine/ProtocolEngine.h"
#include "loader/LoaderStates.h"

namespace zrk {

using namespace loader;

bool LoaderPhase::readyForOperation() {
    if (!m_Engine.LoaderReady) {
        m_Engine.log(
            "\r\n** The phone is not ready: press START and wait until the flash is "
            "identified.\r\n");
        return false;
    }
    // The window locks its buttons while an operation runs; the command line relies on this.
    return m_Engine.ProtocolState == IDLE;
}

void LoaderPhase::fileSystemNotAvailable() {
    m_Engine.log("\r\n** The QIX file-system download is not available in this version.\r\n");
    m_Engine.finishOperation();
}

void LoaderPhase::download() {
    if (!readyForOperation())
        return;
    if (m_Engine.view().choices().downloadMode != DownloadMode::ModeBin) {
        fileSystemNotAvailable();
        return;
    }
    m_Firmware.press();
}

void LoaderPhase::erase() {
    if (readyForOperation())
        m_Erase.press();
}

void LoaderPhase::dump() {
    if (readyForOperation())
        m_Dump.press();
}

void LoaderPhase::step(std::uint8_t byte) {
    switch (m_Engine.ProtocolState) {
        case WAIT_START_REPLY:
            switch (m_Engine.OperationKind) {
                case OP_FIRMWARE:
                case OP_FIRMWARE_THEN_FILE_SYSTEM:
                    m_Firmware.onStartReply();
                    break;
                case OP_ERASE:
                    m_Erase.onStartReply();
                    break;
                case OP_DUMP:
                    m_Dump.onStartReply();
                    break;
                case OP_FILE_SYSTEM:
                    fileSystemNotAvailable();
                    break;
                default:
                    break;  // no step for this kind: the byte is dropped, the state stays
            }
            return;
        case WAIT_LENGTH_SUM:
        case WAIT_OFFSET_SUM:
        case WAIT_BLOCK_ACK:
        case WAIT_SECTOR_SUM:
        case WAIT_IMAGE_CRC_SUM:
            m_Firmware.step(byte);
            return;
        case WAIT_ERASE:
            m_Erase.step(byte);
            return;
        default:
            return;  // IDLE, WAIT_DUMP_BLOCK and states without a step drop the byte
    }
}

void LoaderPhase::dumpBlockStep(const std::uint8_t* block, std::uint8_t checksum) {
    m_Dump.blockStep(block, checksum);
}

}  // namespace zrk

#include "loader/LoaderPhase.h"

#include "engine/PhaseContext.h"
#include "loader/LoaderStates.h"

namespace zrk {

using namespace loader;

LoaderPhase::LoaderPhase(PhaseContext& context)
    : m_Context(context),
      m_Verify(context),
      m_Firmware(context, m_Verify),
      m_Erase(context),
      m_Dump(context) {
    for (const std::int32_t kind :
         {OP_FIRMWARE, OP_FIRMWARE_THEN_FILE_SYSTEM, OP_ERASE, OP_DUMP, OP_VERIFY_FIRMWARE})
        m_Context.serveOperation(kind, *this);
}

void LoaderPhase::downloadFirmware(bool thenFileSystem) {
    if (m_Context.readyForOperation())
        m_Firmware.press(thenFileSystem);
}

void LoaderPhase::erase() {
    if (m_Context.readyForOperation())
        m_Erase.press();
}

void LoaderPhase::dump() {
    if (m_Context.readyForOperation())
        m_Dump.press();
}

void LoaderPhase::verify() {
    if (m_Context.readyForOperation())
        m_Verify.press();
}

const char* LoaderPhase::exchangeName(std::int32_t state) const {
    switch (state) {
        case WAIT_START_REPLY:
            return "start the operation";
        case stateNumber(LoaderState::WAIT_BLOCK_ACK):
            // A sector refused, or its first block unread, before that block's exchange began.
            return "send a block";
        default:
            return "";
    }
}

void LoaderPhase::step(std::uint8_t byte) {
    switch (m_Context.state()) {
        case WAIT_START_REPLY:
            switch (m_Context.operationKind()) {
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
                case OP_VERIFY_FIRMWARE:
                    m_Verify.onStartReply();
                    break;
                default:
                    break;  // no step for this kind: the byte is dropped, the state stays
            }
            return;
        default:
            // Every other state waits on the exchange its step began; IDLE drops the byte.
            m_Context.judge(byte);
            return;
    }
}

void LoaderPhase::frame(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kDumpFrameSize)
        return;
    if (m_Context.state() == stateNumber(LoaderState::WAIT_DUMP_BLOCK))
        m_Dump.blockStep(bytes.data(), bytes[kDumpBlockSize]);
    else if (m_Context.state() == stateNumber(LoaderState::WAIT_VERIFY_BLOCK))
        m_Verify.blockStep(bytes.data(), bytes[kDumpBlockSize]);
}

}  // namespace zrk

#include "filesystem/FileSystemPhase.h"

#include "engine/PhaseContext.h"
#include "filesystem/FileSystemExchange.h"

namespace zrk {

using namespace fs;

FileSystemPhase::FileSystemPhase(PhaseContext& context)
    : m_Context(context),
      m_Verify(context),
      m_Download(context, m_Verify),
      m_FormatAndStatus(context) {
    for (const std::int32_t kind : {OP_FILE_SYSTEM, OP_FORMAT, OP_STATUS})
        m_Context.serveOperation(kind, *this);
}

void FileSystemPhase::download() {
    if (m_Context.readyForOperation())
        m_Download.press();
}

void FileSystemPhase::format() {
    if (m_Context.readyForOperation())
        m_FormatAndStatus.pressFormat();
}

void FileSystemPhase::status() {
    if (m_Context.readyForOperation())
        m_FormatAndStatus.pressStatus();
}

void FileSystemPhase::verify() {
    if (m_Context.readyForOperation())
        m_Verify.press();
}

const char* FileSystemPhase::exchangeName(std::int32_t state) const {
    if (state == WAIT_START_REPLY)
        return "start the operation";
    // Any other number is one of ours or none: a number no state has is named by nothing.
    return exchangeNameOf(static_cast<FileSystemState>(state));
}

void FileSystemPhase::step(std::uint8_t byte) {
    if (m_Context.state() != WAIT_START_REPLY) {
        // Every other state waits on the exchange its step began; IDLE drops the byte.
        m_Context.judge(byte);
        return;
    }
    switch (m_Context.operationKind()) {
        case OP_FILE_SYSTEM:
            m_Download.onStartReply();
            break;
        case OP_FORMAT:
        case OP_STATUS:
            m_FormatAndStatus.onStartReply();
            break;
        default:
            break;
    }
}

}  // namespace zrk

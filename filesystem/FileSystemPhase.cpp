#include "filesystem/FileSystemPhase.h"

#include "engine/PhaseContext.h"
#include "filesystem/FileSystemStates.h"

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

void FileSystemPhase::step(std::uint8_t byte) {
    switch (m_Context.ProtocolState) {
        case WAIT_START_REPLY:
            switch (m_Context.OperationKind) {
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
            return;
        case WAIT_FORMAT:
        case WAIT_FS_STATUS:
        case READ_FS_STATUS_RECORD:
        case READ_FORMAT_ERROR:
        case READ_INIT_ERROR:
            m_FormatAndStatus.step(byte);
            return;
        default:
            m_Download.step(byte);
            return;
    }
}

}  // namespace zrk

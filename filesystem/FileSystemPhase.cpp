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

const char* FileSystemPhase::exchangeName(std::int32_t state) const {
    switch (state) {
        case WAIT_START_REPLY:
            return "start the operation";
        case WAIT_MOUNT_ECHO:
            return "mount";
        case WAIT_NAND_CRC_SUM:
            return "send the image CRC";
        case WAIT_TIME_SUM:
            return "set the image time";
        case WAIT_DIR_SUM:
            return "send a folder name";
        case WAIT_DIR_DONE:
            return "make a folder";
        case WAIT_VERSION:
            return "check the project version";
        case WAIT_RELEASE_VERSION:
            return "check the release version";
        case WAIT_HEADER_SUM:
            return "send a file name and size";
        case WAIT_BLOCK_SUM:
            return "send a file block";
        case WAIT_LAST_BLOCK_SUM:
            return "send a file's last block";
        case WAIT_FILE_DONE:
            return "write a file";
        case WAIT_UNMOUNT_ECHO:
            return "unmount";
        case WAIT_FORMAT:
            return "format";
        case READ_FORMAT_ERROR:
            return "read the format error";
        case WAIT_FS_STATUS:
        case READ_FS_STATUS_RECORD:
            return "read the status";
        case READ_INIT_ERROR:
            return "read the status error";
        case VERIFYING_FILE_SYSTEM:
            return "read the files back";
        default:
            return "";
    }
}

void FileSystemPhase::step(std::uint8_t byte) {
    switch (m_Context.state()) {
        case WAIT_START_REPLY:
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

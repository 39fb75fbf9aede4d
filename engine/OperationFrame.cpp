#include "engine/OperationFrame.h"

namespace zrk {

Operation operationOfKind(std::int32_t kind) {
    switch (kind) {
        case OP_ERASE:
            return Operation::Erase;
        case OP_DUMP:
            return Operation::Dump;
        case OP_FILE_SYSTEM:
            return Operation::FileSystem;
        case OP_FORMAT:
            return Operation::Format;
        case OP_STATUS:
            return Operation::Status;
        case OP_FIRMWARE_THEN_FILE_SYSTEM:
            return Operation::FirmwareAndFileSystem;
        case OP_VERIFY_FIRMWARE:
            return Operation::FirmwareVerify;
        case OP_VERIFY_FILE_SYSTEM:
            return Operation::FileSystemVerify;
        default:
            return Operation::Firmware;
    }
}

bool kindWritesToFlash(std::int32_t kind) {
    switch (kind) {
        case OP_FIRMWARE:
        case OP_ERASE:
        case OP_FILE_SYSTEM:
        case OP_FORMAT:
        case OP_FIRMWARE_THEN_FILE_SYSTEM:
            return true;
        default:
            return false;
    }
}

}  // namespace zrk

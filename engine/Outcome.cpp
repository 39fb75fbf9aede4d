#include "engine/Outcome.h"

namespace zrk {

const char* operationName(Operation operation) {
    switch (operation) {
        case Operation::BringUp:
            return "bringing the phone up";
        case Operation::Firmware:
        case Operation::FileSystem:
        case Operation::FirmwareAndFileSystem:
            return "the download";
        case Operation::Erase:
            return "the erase";
        case Operation::Dump:
            return "the dump";
        case Operation::Format:
            return "the format";
        case Operation::Status:
            return "the status read";
        case Operation::Explorer:
            return "the file-system exchange";
        case Operation::FirmwareVerify:
        case Operation::FileSystemVerify:
            return "the verify";
    }
    return "the operation";
}

}  // namespace zrk

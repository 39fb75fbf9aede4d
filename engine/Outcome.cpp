#include "engine/Outcome.h"

#include "engine/TextFormat.h"

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

std::string whereTheReplyWasWrong(const Failure& failure) {
    std::string text;
    if (!failure.exchange.empty())
        text += " in \"" + failure.exchange + "\"";
    if (failure.expected && failure.got)
        text += formatText(" (expected 0x%02X, got 0x%02X)", *failure.expected, *failure.got);
    else if (failure.got)
        text += formatText(" (got 0x%02X)", *failure.got);
    return text;
}

}  // namespace zrk

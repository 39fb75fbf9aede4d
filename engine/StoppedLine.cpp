#include "engine/StoppedLine.h"

namespace zrk {

namespace {

const char* leftBehind(Operation operation) {
    switch (operation) {
        case Operation::BringUp:
            return "during the bring-up: nothing was written to the flash; switch the phone off "
                   "and START again";
        case Operation::Firmware:
            return "during the firmware download: the flash may be incomplete; download again "
                   "before switching the phone on";
        case Operation::FileSystem:
            return "during the file-system download: the phone's file system may be "
                   "incomplete; download it again before using the phone";
        case Operation::FirmwareAndFileSystem:
            return "during the download: the flash and the file system may be incomplete; "
                   "download again before switching the phone on";
        case Operation::Erase:
            return "during the erase: some of the chosen sectors may still hold their old "
                   "contents; erase them again";
        case Operation::Dump:
            return "during the dump: the phone is unchanged; the dump file is incomplete";
        case Operation::Format:
            return "during the format: the phone's file system may be unusable; format again "
                   "before using the phone";
        case Operation::Status:
            return "during the status query: the phone is unchanged";
        case Operation::Explorer:
            return "during the file-system exchange";
        case Operation::FirmwareVerify:
        case Operation::FileSystemVerify:
            return "during the verify: the phone is unchanged, but it was not compared to the "
                   "end";
    }
    return "";
}

}  // namespace

std::string stoppedLine(Operation operation, bool waitingForPhone) {
    if (operation == Operation::BringUp && waitingForPhone)
        return "** Stopped while waiting for the phone: nothing was sent to it.\r\n";
    return std::string("** Stopped ") + leftBehind(operation) + ".\r\n";
}

}  // namespace zrk

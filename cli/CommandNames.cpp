#include "cli/CommandNames.h"

namespace zrk::cli {

const char* commandName(Command c) {
    switch (c) {
        case Command::Identify:
            return "identify";
        case Command::Download:
            return "download";
        case Command::Erase:
            return "erase";
        case Command::Dump:
            return "dump";
        case Command::Format:
            return "format";
        case Command::Status:
            return "status";
        case Command::Crc:
            return "crc";
        case Command::FsList:
            return "fs ls";
        case Command::FsGet:
            return "fs get";
        case Command::FsRemove:
            return "fs rm";
        case Command::FsStat:
            return "fs stat";
        case Command::FsNandDump:
            return "fs nand-dump";
        case Command::Verify:
            return "verify";
        case Command::FsPull:
            return "fs pull";
        case Command::FsBackup:
            return "fs backup";
        case Command::QixCreate:
            return "qix create";
        case Command::QixList:
            return "qix list";
        case Command::QixExtract:
            return "qix extract";
        case Command::Doctor:
            return "doctor";
        case Command::Ports:
            return "ports";
    }
    return "?";
}

std::string commandWord(Command c) {
    const std::string name = commandName(c);
    const auto space = name.rfind(' ');
    return space == std::string::npos ? name : name.substr(space + 1);
}

}  // namespace zrk::cli

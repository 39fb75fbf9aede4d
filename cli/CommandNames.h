#pragma once
// The commands of zrk410, as they are typed and as they are grouped.
#include <string>

namespace zrk::cli {

enum class Command {
    Identify,
    Download,
    Erase,
    Dump,
    Format,
    Status,
    Crc,
    FsList,      // fs ls [PATH]
    FsGet,       // fs get PATH --out FILE
    FsRemove,    // fs rm PATH
    FsStat,      // fs stat PATH
    FsNandDump,  // fs nand-dump --out FILE
    Verify,      // verify --bin FILE [--start-addr HEX] | --qix FILE
    FsPull,      // fs pull PATH DIR
    FsBackup,    // fs backup DIR
    QixCreate,   // qix create DIR --out FILE.qix
    QixList,     // qix list FILE.qix
    QixExtract,  // qix extract FILE.qix DIR
    Doctor,      // doctor [--port COMn|PATH]
    Ports,       // ports
};

// The command as it is typed, its group's word included ("fs ls"): the parser registers each
// sub-command by its last word (commandWord), and the run report names the run by the whole.
const char* commandName(Command c);
std::string commandWord(Command c);

// The commands that run through the explorer.
inline bool isExplorerCommand(Command c) {
    return c == Command::FsList || c == Command::FsGet || c == Command::FsRemove ||
           c == Command::FsStat || c == Command::FsNandDump || c == Command::FsPull ||
           c == Command::FsBackup;
}

// The image commands, which need no phone.
inline bool isQixCommand(Command c) {
    return c == Command::QixCreate || c == Command::QixList || c == Command::QixExtract;
}

}  // namespace zrk::cli

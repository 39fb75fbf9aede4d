#pragma once
// An exchange of the file-system operations, numbered by the state it waits in and named as a
// failure in that state is named, whether or not its exchange has begun.
#include "engine/Exchange.h"
#include "filesystem/FileSystemStates.h"

namespace zrk::fs {

constexpr const char* exchangeNameOf(FileSystemState state) {
    switch (state) {
        case FileSystemState::WAIT_MOUNT_ECHO:
            return "mount";
        case FileSystemState::WAIT_NAND_CRC_SUM:
            return "send the image CRC";
        case FileSystemState::WAIT_TIME_SUM:
            return "set the image time";
        case FileSystemState::WAIT_DIR_SUM:
            return "send a folder name";
        case FileSystemState::WAIT_DIR_DONE:
            return "make a folder";
        case FileSystemState::WAIT_VERSION:
            return "check the project version";
        case FileSystemState::WAIT_RELEASE_VERSION:
            return "check the release version";
        case FileSystemState::WAIT_HEADER_SUM:
            return "send a file name and size";
        case FileSystemState::WAIT_BLOCK_SUM:
            return "send a file block";
        case FileSystemState::WAIT_LAST_BLOCK_SUM:
            return "send a file's last block";
        case FileSystemState::WAIT_FILE_DONE:
            return "write a file";
        case FileSystemState::WAIT_UNMOUNT_ECHO:
            return "unmount";
        case FileSystemState::WAIT_FORMAT:
            return "format";
        case FileSystemState::READ_FORMAT_ERROR:
            return "read the format error";
        case FileSystemState::WAIT_FS_STATUS:
        case FileSystemState::READ_FS_STATUS_RECORD:
            return "read the status";
        case FileSystemState::READ_INIT_ERROR:
            return "read the status error";
        case FileSystemState::VERIFYING_FILE_SYSTEM:
            return "read the files back";
    }
    return "";
}

inline Exchange fileSystemExchange(FileSystemState state) {
    return Exchange(exchangeNameOf(state), stateNumber(state));
}

}  // namespace zrk::fs

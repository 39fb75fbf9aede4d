#pragma once
// Protocol states of the file-system operations (LoaderReady == 1), the boot-loader's
// file-system commands and its fixed replies, with their wire values.
#include <cstddef>
#include <cstdint>

#include "engine/OperationFrame.h"
#include "filesystem/FileSystemWire.h"

namespace zrk::fs {

// The numbers are those the context holds while an operation waits; several are the bring-up's
// or the NOR operations' with other meanings.
enum class FileSystemState : std::int32_t {
    WAIT_MOUNT_ECHO = 25,
    WAIT_DIR_SUM = 26,
    WAIT_DIR_DONE = 27,
    WAIT_RELEASE_VERSION = 28,
    WAIT_HEADER_SUM = 29,
    WAIT_BLOCK_SUM = 30,
    WAIT_LAST_BLOCK_SUM = 31,
    WAIT_FILE_DONE = 32,
    WAIT_FORMAT = 33,
    WAIT_FS_STATUS = 34,
    READ_FS_STATUS_RECORD = 35,
    WAIT_UNMOUNT_ECHO = 36,
    READ_FORMAT_ERROR = 39,
    READ_INIT_ERROR = 41,
    WAIT_VERSION = 44,
    WAIT_NAND_CRC_SUM = 52,
    WAIT_TIME_SUM = 54,
    // Ours, not the boot-loader's: the explorer has the link for the read-back verify.
    VERIFYING_FILE_SYSTEM = 61,
};

constexpr std::int32_t stateNumber(FileSystemState state) {
    return static_cast<std::int32_t>(state);
}

// Commands, host to boot-loader.
inline constexpr std::uint8_t CMD_SET_TIME = 0xC4;
inline constexpr std::uint8_t CMD_NAND_CRC = 0xC9;
inline constexpr std::uint8_t CMD_MAKE_DIR = 0xDB;
inline constexpr std::uint8_t CMD_FILE_HEADER = 0xDD;
inline constexpr std::uint8_t CMD_FORMAT = 0xE0;
inline constexpr std::uint8_t CMD_SET_VERSION = 0xE3;
inline constexpr std::uint8_t CMD_FS_STATUS = 0xEC;
inline constexpr std::uint8_t CMD_SET_RELEASE_VERSION = 0xF5;
inline constexpr std::uint8_t CMD_NO_RELEASE_VERSION = 0xF6;
inline constexpr std::uint8_t CMD_FILE_BLOCK = 0xFE;

// Replies.
inline constexpr std::uint8_t DIR_DONE = 0xDC;
inline constexpr std::uint8_t FILE_DONE = 0xDF;
inline constexpr std::uint8_t VERSION_OK = 0xE3;
inline constexpr std::uint8_t FORMAT_OK = 0xE1;
inline constexpr std::uint8_t FORMAT_FAILED = 0xF2;
inline constexpr std::uint8_t FS_STATUS_OK = 0xED;
inline constexpr std::uint8_t FS_STATUS_OK_TOO = 0xF4;
inline constexpr std::uint8_t FS_INIT_FAILED = 0xF3;

inline constexpr std::size_t kStatusRecordSize = 44;
inline constexpr std::size_t kErrorReportSize = 5;

}  // namespace zrk::fs

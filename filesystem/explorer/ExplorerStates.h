#pragma once
// The explorer's own protocol states (numbered apart from the main engine's) and the
// boot-loader's explorer commands and replies, with their wire values.
#include <cstddef>
#include <cstdint>

#include "engine/OperationFrame.h"
#include "filesystem/FileSystemWire.h"

namespace zrk::explorer {

enum class ExplorerState : std::int32_t {
    WAIT_START_REPLY = 19,
    WAIT_MOUNT_ECHO = 25,
    WAIT_EXIT_REPLY = 34,
    LIST_FAILED = 36,
    WAIT_READ_ACK = 37,
    READ_FILE_SIZE = 38,
    WAIT_FILE_BLOCK = 39,
    WAIT_DELETE = 40,
    WAIT_STAT_ACK = 41,
    READ_STAT_RECORD = 42,
    WAIT_DUMP_START = 44,
    WAIT_DUMP_PAGE = 45,
    WAIT_DUMP_END = 46,
    WAIT_ENTRY_LENGTH = 54,
    READ_ENTRY = 55,
    WAIT_ENTRY_STATUS = 56,
    EXPLORER_IDLE = 57,
};

// Commands, host to boot-loader.
using fs::CMD_MOUNT;
using fs::CMD_UNMOUNT;
using zrk::CMD_START;
inline constexpr std::uint8_t CMD_LIST_DIR = 0xE5;
inline constexpr std::uint8_t CMD_DELETE_FILE = 0xEE;
inline constexpr std::uint8_t CMD_READ_FILE = 0xE8;
inline constexpr std::uint8_t CMD_SEND_BLOCKS = 0xEA;
inline constexpr std::uint8_t BLOCK_ACCEPTED = 0x01;
inline constexpr std::uint8_t BLOCK_REJECTED = 0x00;
inline constexpr std::uint8_t CMD_FILE_STAT = 0xF0;
inline constexpr std::uint8_t CMD_NAND_DUMP = 0xC0;
inline constexpr std::uint8_t PAGE_ACCEPTED = 0xC1;
inline constexpr std::uint8_t PAGE_REJECTED = 0xC2;

// Replies.
inline constexpr std::uint8_t ENTRY_FILE = 0x01;
inline constexpr std::uint8_t ENTRY_DIR = 0x02;
inline constexpr std::uint8_t LIST_MORE = 0xCB;
inline constexpr std::uint8_t LIST_END = 0xE7;
inline constexpr std::uint8_t LIST_ERROR = 0xE6;
inline constexpr std::uint8_t DELETE_OK = 0xEE;
inline constexpr std::uint8_t READ_OK = 0xE9;
inline constexpr std::uint8_t STAT_OK = 0xF1;
inline constexpr std::uint8_t DUMP_OK = 0xC1;
inline constexpr std::uint8_t DUMP_END = 0xC3;
// The boot-loader's failure code for a name it does not hold, in place of the success code of a
// read-out, a status or a delete; after E6h in a listing, the code of a directory that cannot
// be opened.
inline constexpr std::uint8_t FAIL_NOT_FOUND = 0x21;
inline constexpr std::uint8_t LIST_CANNOT_OPEN = 0x11;

using fs::kFileBlockSize;
inline constexpr std::size_t kNandPageSize = 2048;
inline constexpr std::uint32_t kNandPages = 64064;  // 131,203,072 bytes
inline constexpr std::size_t kStatRecordSize = 28;
inline constexpr std::size_t kNameField = 510;  // a converted name, its NUL included
inline constexpr std::size_t kFullPathField = 500;
inline constexpr int kEmptyReadOutQuietMs = 2000;

}  // namespace zrk::explorer

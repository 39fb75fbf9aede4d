#pragma once
// Protocol states of the loader phase (LoaderReady == 1), the operation kinds, and the
// boot-loader's command bytes, all with their wire values.
#include <cstddef>
#include <cstdint>

namespace zrk::loader {

inline constexpr std::int32_t WAIT_START_REPLY = 19;
inline constexpr std::int32_t WAIT_LENGTH_SUM = 20;
inline constexpr std::int32_t WAIT_OFFSET_SUM = 21;
inline constexpr std::int32_t WAIT_ERASE = 22;
inline constexpr std::int32_t WAIT_DUMP_BLOCK = 24;
inline constexpr std::int32_t WAIT_MOUNT_ECHO = 25;
inline constexpr std::int32_t WAIT_DIR_SUM = 26;
inline constexpr std::int32_t WAIT_DIR_DONE = 27;
inline constexpr std::int32_t WAIT_RELEASE_VERSION = 28;
inline constexpr std::int32_t WAIT_HEADER_SUM = 29;
inline constexpr std::int32_t WAIT_BLOCK_SUM = 30;
inline constexpr std::int32_t WAIT_LAST_BLOCK_SUM = 31;
inline constexpr std::int32_t WAIT_FILE_DONE = 32;
inline constexpr std::int32_t WAIT_FORMAT = 33;
inline constexpr std::int32_t WAIT_FS_STATUS = 34;
inline constexpr std::int32_t READ_FS_STATUS_RECORD = 35;
inline constexpr std::int32_t WAIT_UNMOUNT_ECHO = 36;
inline constexpr std::int32_t READ_FORMAT_ERROR = 39;
inline constexpr std::int32_t READ_INIT_ERROR = 41;
inline constexpr std::int32_t WAIT_VERSION = 44;
inline constexpr std::int32_t WAIT_BLOCK_ACK = 49;
inline constexpr std::int32_t WAIT_SECTOR_SUM = 50;
inline constexpr std::int32_t WAIT_IMAGE_CRC_SUM = 51;
inline constexpr std::int32_t WAIT_NAND_CRC_SUM = 52;
inline constexpr std::int32_t WAIT_TIME_SUM = 54;

// OperationKind
inline constexpr std::int32_t OP_FIRMWARE = 0;
inline constexpr std::int32_t OP_ERASE = 1;
inline constexpr std::int32_t OP_DUMP = 2;
inline constexpr std::int32_t OP_FILE_SYSTEM = 3;
inline constexpr std::int32_t OP_FORMAT = 5;
inline constexpr std::int32_t OP_STATUS = 7;
inline constexpr std::int32_t OP_FIRMWARE_THEN_FILE_SYSTEM = 8;

// Commands, host to boot-loader.
inline constexpr std::uint8_t CMD_IMAGE_CRC = 0xC8;
inline constexpr std::uint8_t CMD_NAND_CRC = 0xC9;
inline constexpr std::uint8_t CMD_SET_TIME = 0xC4;
inline constexpr std::uint8_t CMD_SET_CS0_BASE = 0xD0;
inline constexpr std::uint8_t CMD_READ_FLASH_ID = 0xD1;
inline constexpr std::uint8_t CMD_WRITE_OFFSET = 0xD3;
inline constexpr std::uint8_t CMD_IMAGE_LENGTH = 0xD4;
inline constexpr std::uint8_t CMD_ERASE_SECTOR = 0xD5;
inline constexpr std::uint8_t CMD_DUMP_BLOCK = 0xD8;
inline constexpr std::uint8_t CMD_START = 0xD9;
inline constexpr std::uint8_t CMD_MOUNT = 0xDA;
inline constexpr std::uint8_t CMD_MAKE_DIR = 0xDB;
inline constexpr std::uint8_t CMD_FILE_HEADER = 0xDD;
inline constexpr std::uint8_t CMD_FORMAT = 0xE0;
inline constexpr std::uint8_t CMD_SET_VERSION = 0xE3;
inline constexpr std::uint8_t CMD_UNMOUNT = 0xE4;
inline constexpr std::uint8_t CMD_FS_STATUS = 0xEC;
inline constexpr std::uint8_t CMD_SET_RELEASE_VERSION = 0xF5;
inline constexpr std::uint8_t CMD_NO_RELEASE_VERSION = 0xF6;
inline constexpr std::uint8_t CMD_CONFIGURE_DMA = 0xF7;
inline constexpr std::uint8_t CMD_PROGRAM_64K = 0xFA;
inline constexpr std::uint8_t CMD_PROGRAM_16K = 0xFB;
inline constexpr std::uint8_t CMD_PROGRAM_SMALL = 0xFC;
inline constexpr std::uint8_t CMD_POWER_ON = 0xFD;
inline constexpr std::uint8_t CMD_FILE_BLOCK = 0xFE;
inline constexpr std::uint8_t CMD_JUMP_LOADER = 0xFF;

inline constexpr std::uint32_t NOR_BASE = 0x10000000;
inline constexpr std::size_t kDumpBlockSize = 8192;

}  // namespace zrk::loader

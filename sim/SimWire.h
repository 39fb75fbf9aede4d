#pragma once
// The phone's own view of the wire: every byte it sends or understands. Kept apart from the
// host's constants on purpose: the simulator is an independent model of the phone, so a wrong
// value on the host side shows up as a violation here instead of being agreed on silently.
#include <cstdint>

namespace zrk::sim::wire {

// Boot ROM of the baseband chip (115200 baud).
inline constexpr std::uint8_t ROM_CONNECT_REQUEST = 0x81;
inline constexpr std::uint8_t ROM_CONNECT_REPLY = 0x44;
inline constexpr std::uint8_t ROM_GRANT = 0x44;
inline constexpr std::uint8_t ROM_GRANT_ACK = 0x51;
inline constexpr std::uint8_t ROM_ID_REPLY = 0x44;
inline constexpr std::uint8_t ROM_SET_TIMEOUT = 0x54;
inline constexpr std::uint8_t ROM_SET_ADDRESS = 0x53;
inline constexpr std::uint8_t ROM_LOAD_WORD = 0x4C;
inline constexpr std::uint8_t ROM_JUMP = 0x4A;
inline constexpr std::uint8_t ROM_OK = 0x4F;
// Our ROM's refusal of a wrong identification (any byte but ROM_OK fails the host).
inline constexpr std::uint8_t ROM_REFUSED = 0x45;
inline constexpr std::uint32_t ROM_LOAD_ADDRESS = 0x0C000000;
inline constexpr int CHALLENGE_SIZE = 16;
inline constexpr int CUSTOMER_ID_SIZE = 4;
inline constexpr int PRELOADER_WORDS = 445;

// A started program (pre-loader, boot-loader) announces itself with this byte.
inline constexpr std::uint8_t PROGRAM_READY = 0xAB;

// Pre-loader.
inline constexpr std::uint8_t CMD_START = 0xD9;
inline constexpr std::uint8_t CMD_IMAGE_LENGTH = 0xD4;
inline constexpr std::uint8_t CMD_CONFIGURE_DMA = 0xF7;
inline constexpr std::uint8_t CMD_JUMP_LOADER = 0xFF;
inline constexpr std::uint32_t BOOTLOADER_SIZE = 317792;
inline constexpr std::uint32_t BOOT_CHUNK = 2048;
inline constexpr unsigned SPEEDS[4] = {115200, 230400, 460800, 921600};

// Boot-loader: bring-up.
inline constexpr std::uint8_t CMD_SET_CS0_BASE = 0xD0;
inline constexpr std::uint8_t CMD_READ_FLASH_ID = 0xD1;
inline constexpr std::uint32_t NOR_BASE = 0x10000000;

// Boot-loader: NOR.
inline constexpr std::uint8_t CMD_IMAGE_CRC = 0xC8;
inline constexpr std::uint8_t CMD_WRITE_OFFSET = 0xD3;
inline constexpr std::uint8_t CMD_PROGRAM_64K = 0xFA;
inline constexpr std::uint8_t CMD_PROGRAM_16K = 0xFB;
inline constexpr std::uint8_t CMD_PROGRAM_SMALL = 0xFC;
inline constexpr std::uint8_t CMD_ERASE_SECTOR = 0xD5;
inline constexpr std::uint8_t CMD_DUMP_BLOCK = 0xD8;
inline constexpr std::uint8_t CMD_POWER_ON = 0xFD;
inline constexpr std::uint8_t START_REPLY = 0xD9;  // any value would do for the host
inline constexpr std::uint8_t BLOCK_ACK = 0x06;    // any value would do for the host
inline constexpr std::uint32_t PROGRAM_BLOCK = 2048;
inline constexpr std::uint32_t DUMP_BLOCK = 8192;

// Boot-loader: NAND file system.
inline constexpr std::uint8_t CMD_MOUNT = 0xDA;
inline constexpr std::uint8_t CMD_NAND_CRC = 0xC9;
inline constexpr std::uint8_t CMD_SET_TIME = 0xC4;
inline constexpr std::uint8_t CMD_MAKE_DIR = 0xDB;
inline constexpr std::uint8_t DIR_DONE = 0xDC;
inline constexpr std::uint8_t CMD_SET_VERSION = 0xE3;
inline constexpr std::uint8_t CMD_SET_RELEASE_VERSION = 0xF5;
inline constexpr std::uint8_t CMD_NO_RELEASE_VERSION = 0xF6;
inline constexpr std::uint8_t VERSION_OK = 0xE3;
inline constexpr std::uint8_t CMD_FILE_HEADER = 0xDD;
inline constexpr std::uint8_t CMD_FILE_BLOCK = 0xFE;
inline constexpr std::uint8_t FILE_DONE = 0xDF;
inline constexpr std::uint8_t CMD_UNMOUNT = 0xE4;
inline constexpr std::uint8_t CMD_FORMAT = 0xE0;
inline constexpr std::uint8_t FORMAT_OK = 0xE1;
inline constexpr std::uint8_t FORMAT_FAILED = 0xF2;
inline constexpr std::uint8_t CMD_FS_STATUS = 0xEC;
inline constexpr std::uint8_t FS_STATUS_OK = 0xED;
inline constexpr std::uint8_t FS_STATUS_FAILED = 0xF3;
inline constexpr std::uint32_t FILE_BLOCK = 8192;
inline constexpr int SET_TIME_PAYLOAD = 27;
inline constexpr int VERSION_SIZE = 16;
inline constexpr int RELEASE_VERSION_SIZE = 12;
inline constexpr int FS_STATUS_RECORD_SIZE = 44;

// Boot-loader: the explorer's commands.
inline constexpr std::uint8_t CMD_LIST_DIR = 0xE5;
inline constexpr std::uint8_t LIST_MORE = 0xCB;
inline constexpr std::uint8_t LIST_END = 0xE7;
inline constexpr std::uint8_t LIST_ERROR = 0xE6;
inline constexpr std::uint8_t LIST_CANNOT_OPEN = 0x11;
inline constexpr std::uint8_t LIST_CANNOT_READ = 0x12;
inline constexpr std::uint8_t ENTRY_FILE = 0x01;
inline constexpr std::uint8_t ENTRY_DIR = 0x02;
inline constexpr std::uint8_t CMD_DELETE_FILE = 0xEE;
inline constexpr std::uint8_t DELETE_OK = 0xEE;
inline constexpr std::uint8_t CMD_READ_FILE = 0xE8;
inline constexpr std::uint8_t READ_OK = 0xE9;
inline constexpr std::uint8_t CMD_SEND_BLOCKS = 0xEA;
inline constexpr std::uint8_t BLOCK_ACCEPTED = 0x01;
inline constexpr std::uint8_t BLOCK_REJECTED = 0x00;
inline constexpr std::uint8_t CMD_FILE_STAT = 0xF0;
inline constexpr std::uint8_t STAT_OK = 0xF1;
inline constexpr int FILE_STAT_RECORD_SIZE = 28;
inline constexpr std::uint8_t CMD_NAND_DUMP = 0xC0;
inline constexpr std::uint8_t DUMP_OK = 0xC1;
inline constexpr std::uint8_t PAGE_ACCEPTED = 0xC1;
inline constexpr std::uint8_t PAGE_REJECTED = 0xC2;
inline constexpr std::uint8_t DUMP_END = 0xC3;
inline constexpr std::uint32_t NAND_PAGE = 2048;
inline constexpr std::uint32_t NAND_PAGES = 64064;
// Failure codes of our boot-loader (any byte but the success code fails the host).
inline constexpr std::uint8_t FAIL_NOT_FOUND = 0x21;
inline constexpr std::uint8_t FAIL_REFUSED = 0x22;
inline constexpr std::uint8_t FAIL_NOT_MOUNTED = 0x23;

}  // namespace zrk::sim::wire

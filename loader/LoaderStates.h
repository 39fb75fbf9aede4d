#pragma once
// Protocol states of the NOR operations (LoaderReady == 1) and the boot-loader's NOR commands,
// with their wire values. The operation frame they share with the file system is in
// engine/OperationFrame.h.
#include <cstddef>
#include <cstdint>

#include "engine/OperationFrame.h"
#include "engine/StartAddress.h"

namespace zrk::loader {

// The numbers are those the context holds while an operation waits; several are the bring-up's
// with other meanings.
enum class LoaderState : std::int32_t {
    WAIT_LENGTH_SUM = 20,
    WAIT_OFFSET_SUM = 21,
    WAIT_ERASE = 22,
    WAIT_DUMP_BLOCK = 24,
    WAIT_BLOCK_ACK = 49,
    WAIT_SECTOR_SUM = 50,
    WAIT_IMAGE_CRC_SUM = 51,
    // Ours, not the boot-loader's: a dump block read back for the verify.
    WAIT_VERIFY_BLOCK = 60,
};

constexpr std::int32_t stateNumber(LoaderState state) {
    return static_cast<std::int32_t>(state);
}

// Commands, host to boot-loader.
inline constexpr std::uint8_t CMD_IMAGE_CRC = 0xC8;
inline constexpr std::uint8_t CMD_WRITE_OFFSET = 0xD3;
inline constexpr std::uint8_t CMD_ERASE_SECTOR = 0xD5;
inline constexpr std::uint8_t CMD_DUMP_BLOCK = 0xD8;
inline constexpr std::uint8_t CMD_PROGRAM_64K = 0xFA;
inline constexpr std::uint8_t CMD_PROGRAM_16K = 0xFB;
inline constexpr std::uint8_t CMD_PROGRAM_SMALL = 0xFC;

inline constexpr std::size_t kDumpBlockSize = 8192;
// A dump block and its checksum byte, taken as one frame.
inline constexpr std::size_t kDumpFrameSize = kDumpBlockSize + 1;

}  // namespace zrk::loader

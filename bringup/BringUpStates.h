#pragma once
// Protocol states while the phone is brought up (LoaderReady == 0), and the commands the
// bring-up sends to the pre-loader and the freshly started boot-loader, with their wire values.
#include <cstdint>

#include "engine/OperationFrame.h"  // CMD_IMAGE_LENGTH, which the download sends too

namespace zrk::bringup {

// The numbers are those the context holds while the bring-up waits, which the loader's states
// reuse with other meanings.
enum class BringUpState : std::int32_t {
    WAIT_CONNECT_REQUEST = 1,
    WAIT_CONNECT_GRANT = 2,
    READ_CHALLENGE = 3,
    WAIT_ID_ACK = 4,
    WAIT_WORD_ACK = 5,
    WAIT_LAST_WORD_ACK = 6,
    WAIT_START_ADDRESS_ACK = 7,
    WAIT_PRELOADER_READY = 8,
    WAIT_LOAD_ADDRESS_ACK = 11,
    WAIT_CHUNK_SUM = 12,
    WAIT_LAST_CHUNK_SUM = 13,
    WAIT_LOADER_READY = 16,
    WAIT_BASE_SUM = 17,
    READ_FLASH_ID = 18,
    WAIT_SPEED_ECHO = 19,
    WAIT_SIZE_SUM = 20,
    WAIT_DMA_ACK = 48,
    WAIT_TIMEOUT_ACK = 53,
};

constexpr std::int32_t stateNumber(BringUpState state) {
    return static_cast<std::int32_t>(state);
}

inline constexpr std::uint8_t CMD_SET_CS0_BASE = 0xD0;
inline constexpr std::uint8_t CMD_READ_FLASH_ID = 0xD1;
inline constexpr std::uint8_t CMD_CONFIGURE_DMA = 0xF7;
inline constexpr std::uint8_t CMD_JUMP_LOADER = 0xFF;

}  // namespace zrk::bringup

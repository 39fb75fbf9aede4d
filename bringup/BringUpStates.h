#pragma once
// Protocol states while the phone is brought up (LoaderReady == 0), and the commands the
// bring-up sends to the pre-loader and the freshly started boot-loader, with their wire values.
#include <cstdint>

#include "engine/OperationFrame.h"  // CMD_IMAGE_LENGTH, which the download sends too

namespace zrk::bringup {

inline constexpr std::int32_t WAIT_CONNECT_REQUEST = 1;
inline constexpr std::int32_t WAIT_CONNECT_GRANT = 2;
inline constexpr std::int32_t READ_CHALLENGE = 3;
inline constexpr std::int32_t WAIT_ID_ACK = 4;
inline constexpr std::int32_t WAIT_WORD_ACK = 5;
inline constexpr std::int32_t WAIT_LAST_WORD_ACK = 6;
inline constexpr std::int32_t WAIT_START_ADDRESS_ACK = 7;
inline constexpr std::int32_t WAIT_PRELOADER_READY = 8;
inline constexpr std::int32_t WAIT_LOAD_ADDRESS_ACK = 11;
inline constexpr std::int32_t WAIT_CHUNK_SUM = 12;
inline constexpr std::int32_t WAIT_LAST_CHUNK_SUM = 13;
inline constexpr std::int32_t WAIT_LOADER_READY = 16;
inline constexpr std::int32_t WAIT_BASE_SUM = 17;
inline constexpr std::int32_t READ_FLASH_ID = 18;
inline constexpr std::int32_t WAIT_SPEED_ECHO = 19;
inline constexpr std::int32_t WAIT_SIZE_SUM = 20;
inline constexpr std::int32_t WAIT_DMA_ACK = 48;
inline constexpr std::int32_t WAIT_TIMEOUT_ACK = 53;

inline constexpr std::uint8_t CMD_SET_CS0_BASE = 0xD0;
inline constexpr std::uint8_t CMD_READ_FLASH_ID = 0xD1;
inline constexpr std::uint8_t CMD_CONFIGURE_DMA = 0xF7;
inline constexpr std::uint8_t CMD_JUMP_LOADER = 0xFF;

}  // namespace zrk::bringup

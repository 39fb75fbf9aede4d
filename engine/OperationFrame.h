#pragma once
// The frame every boot-loader operation shares, whichever phase runs it: the operation kinds,
// the start command that opens each operation and the state that waits for its reply, the
// command that powers the phone on after a download, and the length command of both uploads. Wire
// values as the boot-loader has them.
#include <cstdint>

#include "engine/Outcome.h"

namespace zrk {

// OperationKind
inline constexpr std::int32_t OP_FIRMWARE = 0;
inline constexpr std::int32_t OP_ERASE = 1;
inline constexpr std::int32_t OP_DUMP = 2;
inline constexpr std::int32_t OP_FILE_SYSTEM = 3;
inline constexpr std::int32_t OP_FORMAT = 5;
inline constexpr std::int32_t OP_STATUS = 7;
inline constexpr std::int32_t OP_FIRMWARE_THEN_FILE_SYSTEM = 8;
// Our own kinds, never on the wire: the read-back verify of a firmware image (its exchange is
// the NOR dump's) and of a file system (the explorer's exchanges, on a link of its own).
inline constexpr std::int32_t OP_VERIFY_FIRMWARE = 10;
inline constexpr std::int32_t OP_VERIFY_FILE_SYSTEM = 11;

// The operation an outcome names for a kind begun; a kind no phase serves is a firmware download.
Operation operationOfKind(std::int32_t kind);
// A kind that writes to the phone's flash (firmware, file system, erase, format): ending it
// under way leaves the flash part-written.
bool kindWritesToFlash(std::int32_t kind);

inline constexpr std::int32_t WAIT_START_REPLY = 19;

inline constexpr std::uint8_t CMD_START = 0xD9;
inline constexpr std::uint8_t CMD_POWER_ON = 0xFD;
// The length of what follows: the boot-loader's image in the bring-up, the firmware image in a
// download.
inline constexpr std::uint8_t CMD_IMAGE_LENGTH = 0xD4;

}  // namespace zrk

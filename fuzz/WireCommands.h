#pragma once
// The wire as the fuzzers' honest phone and their completion checks see it: what the host sends
// and what a phone without a fault answers. Written down here from the phone's side, so that the
// driver judges the engine by the bytes on the line and not by the engine's own numbers.
#include <cstddef>
#include <cstdint>

#include "engine/OperationFrame.h"

namespace zrk::fuzz::wire {

// The boot ROM.
inline constexpr std::uint8_t kConnectRequest = 0x81;  // the ROM asks, unprompted
inline constexpr std::uint8_t kConnectReply = 0x44;    // host: one byte
inline constexpr std::uint8_t kConnectGrant = 0x44;
inline constexpr std::uint8_t kGrantAck = 0x51;    // host: then the ROM's challenge
inline constexpr std::uint8_t kIdReply = 0x44;     // host: customer id and the challenge back
inline constexpr std::uint8_t kSetTimeout = 0x54;  // host: the command and one value
inline constexpr std::uint8_t kSetAddress = 0x53;  // host: the command and 4 bytes
inline constexpr std::uint8_t kLoadWord = 0x4C;    // host: the command, 0 and a word
inline constexpr std::uint8_t kJump = 0x4A;
inline constexpr std::uint8_t kRomOk = 0x4F;
inline constexpr std::uint8_t kPreLoaderReady = 0xAB;
inline constexpr std::size_t kIdReplySize = 1 + 4 + 16;

// The pre-loader and the boot-loader.
inline constexpr std::uint8_t kStart = CMD_START;  // opens an operation, or ends the speed switch
inline constexpr std::uint8_t kPowerOn = CMD_POWER_ON;
inline constexpr std::uint8_t kSetBase = 0xD0;
inline constexpr std::uint8_t kReadFlashId = 0xD1;
inline constexpr std::uint8_t kImageLength = 0xD4;
inline constexpr std::uint8_t kConfigureDma = 0xF7;  // answered with itself
inline constexpr std::uint8_t kJumpLoader = 0xFF;
inline constexpr std::uint8_t kLoaderReady = 0xAB;

// NOR.
inline constexpr std::uint8_t kImageCrc = 0xC8;
inline constexpr std::uint8_t kWriteOffset = 0xD3;
inline constexpr std::uint8_t kEraseSector = 0xD5;
inline constexpr std::uint8_t kDumpBlock = 0xD8;
inline constexpr std::uint8_t kProgram64K = 0xFA;
inline constexpr std::uint8_t kProgram16K = 0xFB;
inline constexpr std::uint8_t kProgramSmall = 0xFC;
inline constexpr std::uint8_t kBlockAck = 0xA5;  // any value would do; the sector sum checks
inline constexpr std::size_t kDumpBlockSize = 8192;
inline constexpr std::size_t kDumpFrameSize = kDumpBlockSize + 1;  // the block and its sum

// The NAND file system.
inline constexpr std::uint8_t kSetTime = 0xC4;
inline constexpr std::uint8_t kNandCrc = 0xC9;
inline constexpr std::uint8_t kMount = 0xDA;  // answered with itself
inline constexpr std::uint8_t kMakeDir = 0xDB;
inline constexpr std::uint8_t kFileHeader = 0xDD;
inline constexpr std::uint8_t kFormat = 0xE0;
inline constexpr std::uint8_t kSetVersion = 0xE3;
inline constexpr std::uint8_t kUnmount = 0xE4;  // answered with itself
inline constexpr std::uint8_t kFsStatus = 0xEC;
inline constexpr std::uint8_t kSetReleaseVersion = 0xF5;
inline constexpr std::uint8_t kNoReleaseVersion = 0xF6;
inline constexpr std::uint8_t kFileBlock = 0xFE;
inline constexpr std::size_t kTimePacketSize = 28;

inline constexpr std::uint8_t kDirDone = 0xDC;
inline constexpr std::uint8_t kFileDone = 0xDF;
inline constexpr std::uint8_t kVersionOk = 0xE3;
inline constexpr std::uint8_t kFormatOk = 0xE1;
inline constexpr std::uint8_t kFormatFailed = 0xF2;
inline constexpr std::uint8_t kStatusOk = 0xED;
inline constexpr std::uint8_t kStatusOkToo = 0xF4;
inline constexpr std::uint8_t kInitFailed = 0xF3;
inline constexpr std::size_t kStatusRecordSize = 44;

}  // namespace zrk::fuzz::wire

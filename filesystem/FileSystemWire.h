#pragma once
// What the file-system download and the explorer both send: the mount around every file-system
// exchange, and the size of a file's blocks in either direction.
#include <cstddef>
#include <cstdint>

namespace zrk::fs {

inline constexpr std::uint8_t CMD_MOUNT = 0xDA;
inline constexpr std::uint8_t CMD_UNMOUNT = 0xE4;
inline constexpr std::size_t kFileBlockSize = 8192;

}  // namespace zrk::fs

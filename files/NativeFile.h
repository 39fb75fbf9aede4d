#pragma once
// A file or folder the system holds open for this program, as the system names it: a
// descriptor on POSIX, a HANDLE on Windows, either held in an integer wide enough for both.
// Only the platform folders look inside; -1 is "none" on both systems.
#include <cstdint>

namespace zrk {

using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

}  // namespace zrk

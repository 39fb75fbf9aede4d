#pragma once
// States that both phases share. The bring-up phase (bringup/BringUpStates.h) and the loader
// phase (loader/LoaderStates.h) reuse some numbers with other meanings; LoaderReady keeps the
// two apart.
#include <cstdint>

namespace zrk {

inline constexpr std::int32_t INITIAL = 0;  // after start-up, before the first START
inline constexpr std::int32_t IDLE = 58;    // no exchange in progress; bytes are dropped

}  // namespace zrk

#pragma once
// Amounts and durations as both front ends' progress shows them.
#include <string>

namespace zrk {

// "512 B", "12.3 KB", "1.5 MB"
std::string formatBytes(double bytes);
// "0:07", "12:34", "1:02:03"
std::string formatDuration(double seconds);

}  // namespace zrk

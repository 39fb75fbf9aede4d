#pragma once
#include <cstdint>
#include <string>

namespace zrk {

// Fills "%M" (minutes within the hour) and "%S" (seconds within the minute), two digits each,
// into a closing line such as "\r\n** Downloading Time %M:%S **\r\n". A span of an hour or
// more shows only its minutes within the hour, as the operators' logs always have.
std::string formatElapsed(const std::string& pattern, std::int64_t seconds);

}  // namespace zrk

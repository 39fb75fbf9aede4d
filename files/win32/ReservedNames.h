#pragma once
// Windows' device names: "NUL", "CON", "COM1" (and "nul.txt", "Com1 .log") name the device in
// every folder, not a file.
#include <string>

namespace zrk::win32 {

bool isReservedDeviceName(const std::string& name);

}  // namespace zrk::win32

#pragma once
// The window's stored choices, used as the command line's defaults: the same port and speed
// the operator last picked, and the devices set for the COM names.
#include <map>
#include <string>

namespace zrk::cli {

struct StoredSettings {
    int portIndex = 0;                       // 0 = COM1
    int speedIndex = 0;                      // 0 = 115200
    std::map<int, std::string> portDevices;  // COMn -> device path, where one is set
};

// Values outside their lists count as absent (0), as the window treats them.
StoredSettings readStoredSettings();

}  // namespace zrk::cli

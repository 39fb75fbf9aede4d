#pragma once
// The window's stored choices, used as the command line's defaults: the same port and speed
// the operator last picked, and the devices set for the COM names.
#include <map>
#include <string>

#include "serial/PortMap.h"

namespace zrk::cli {

struct StoredSettings {
    int portIndex = 0;                        // 0 = COM1
    int speedIndex = 0;                       // 0 = 115200
    std::map<int, std::string> portDevices;   // COMn -> device path, where one is set
    std::map<int, std::string> portAdapters;  // COMn -> the USB adapter it is bound to
};

// Values outside their lists count as absent (0), as the window treats them. A name bound to
// a USB adapter that is present stands for the path the adapter has now.
StoredSettings readStoredSettings();
// What each COM name stands for, devices and adapter bindings alike, as the window keeps them.
PortMap portMapOf(const StoredSettings& stored);
// Keeps what COMn stands for, as the window would; false, with whyNot, when the store refused.
bool storePortBinding(int portNumber, const std::string& device, const std::string& adapter,
                      std::string* whyNot = nullptr);

}  // namespace zrk::cli

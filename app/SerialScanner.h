#pragma once
// Where the windows look for the serial devices present: the system's catalogue, or what a
// test or the screenshots put in its place.
#include <functional>
#include <vector>

#include "serial/SerialDevices.h"

namespace zrk {

using SerialScanner = std::function<std::vector<SerialDevice>()>;

std::vector<SerialDevice> scanSerialDevices();
// An empty scanner restores the system's catalogue.
void setSerialScanner(SerialScanner scanner);

}  // namespace zrk

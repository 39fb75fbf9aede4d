#pragma once
// Ports served side by side, each on a thread of its own, while the calling thread only
// listens: for Ctrl-C, a kill or a closed terminal, which it hands to every port through the
// stop, and for the ports' ends. Returns once every port has ended.
#include <cstddef>
#include <functional>

#include "station/StopSignal.h"

namespace zrk::station {

void serveSideBySide(std::size_t ports, StopSignal& stop,
                     const std::function<void(std::size_t port)>& servePort);

}  // namespace zrk::station

// The file-system download, alone and after the firmware, on a phone brought up without a fault:
// mount, CRC, clock, directories, versions, file blocks and unmount, with good and broken
// configurations and code pages.
#include "fuzz/EngineDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One complete download an input: each sends the whole image and walks the whole tree, and
    // after one the phone is as ready as after the bring-up.
    static const zrk::fuzz::EngineScenario scenario{true, "SPDBLCQ", zrk::DownloadMode::ModeQix, 1};
    zrk::fuzz::runEngine(data, size, scenario);
    return 0;
}

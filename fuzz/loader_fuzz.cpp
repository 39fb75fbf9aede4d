// The NOR operations on a phone brought up without a fault: firmware download (start address,
// power-on, images that are empty or no file), erase and dump, under any reply and any button.
#include "fuzz/EngineDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const zrk::fuzz::EngineScenario scenario{true, "SPDEUBLC", zrk::DownloadMode::ModeBin};
    zrk::fuzz::runEngine(data, size, scenario);
    return 0;
}

// START and the whole bring-up: the boot ROM handshake, the pre-loader upload, the baud switch
// with its reopen timer, the boot-loader upload and the flash identification, under any reply,
// Stop, link loss and late timer ticks.
#include "fuzz/EngineDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const zrk::fuzz::EngineScenario scenario{false, "SPBLC", zrk::DownloadMode::ModeBin};
    zrk::fuzz::runEngine(data, size, scenario);
    return 0;
}

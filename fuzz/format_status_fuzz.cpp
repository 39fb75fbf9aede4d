// Format (with its question) and Status of the NAND file system on a phone brought up without a
// fault: success, error reports and status records in any split.
#include "fuzz/EngineDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const zrk::fuzz::EngineScenario scenario{true, "SPFTL", zrk::DownloadMode::ModeBin};
    zrk::fuzz::runEngine(data, size, scenario);
    return 0;
}

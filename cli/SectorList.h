#pragma once
// The --sectors argument: "all", or numbers and ranges separated by commas ("0-3,511,518").
#include <cstdint>
#include <string>
#include <vector>

namespace zrk::cli {

struct SectorListResult {
    std::vector<std::int32_t> flags;  // one per sector, 1 = selected; empty on error
    std::string error;                // why the text was rejected
    bool ok() const { return error.empty(); }
};

// sectorCount is the number of sectors of the flash (519); numbers run 0 .. sectorCount - 1.
SectorListResult parseSectorList(const std::string& text, int sectorCount);

}  // namespace zrk::cli

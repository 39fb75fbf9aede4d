#pragma once
// What the explorer's exchanges hand out: a file's decoded status record, the entries of a
// listing, and the typed failure every exchange ends with when it does not complete.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Outcome.h"
#include "filesystem/explorer/ExplorerStates.h"

namespace zrk {

// The 28-byte status record of one file, decoded.
struct FileStatusRecord {
    std::uint32_t mode = 0;
    std::uint32_t inode = 0;
    std::int16_t deviceId = 0;
    std::int16_t dummy = 0;
    std::int32_t size = 0;
    std::uint32_t accessTime = 0;
    std::uint32_t modificationTime = 0;
    std::uint32_t statusChangeTime = 0;

    static FileStatusRecord decode(const std::uint8_t* bytes);
    // The report as the log shows it, one text per line.
    std::vector<std::string> report() const;
};

// One entry of the last listing, as the phone named it.
struct ListedEntry {
    std::string utf8Name;                  // without its NUL
    std::optional<std::string> localName;  // nullopt when the local code page cannot hold it
    bool directory = false;
};

}  // namespace zrk

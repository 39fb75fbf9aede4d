#pragma once
// What the simulated phone keeps about a run for the test or the person watching it: the bytes
// the protocol did not allow, and the figures and texts the host left behind.
#include <cstdint>
#include <optional>
#include <string>

namespace zrk::sim {

struct Violation {
    std::uint64_t offset;  // index of the offending byte in everything the host sent
    std::string context;
};

struct PhoneCounters {
    std::uint64_t bytesReceived = 0;
    int powerCycles = 0;
    int sessions = 0;  // host sessions ended (a close that powered the phone off, after traffic)
    int loaderStarts = 0;       // boot-loaders that answered ABh
    int firmwareDownloads = 0;  // images whose last sector arrived
    int filesWritten = 0;
    int unmounts = 0;
    std::optional<std::uint32_t> preLoaderCrc;   // of the pre-loader the boot ROM received
    std::optional<std::uint32_t> bootLoaderCrc;  // of the boot-loader the pre-loader received
    std::optional<std::uint32_t> imageCrc;       // announced with the last firmware download
    std::optional<std::uint32_t> nandCrc;        // announced with the last file-system download
    std::string version;                         // 16 bytes, as sent
    std::string releaseVersion;                  // 12 bytes, empty when none was sent
    std::string clock;  // the file-system clock from the last time packet, "YYYY-MM-DD hh:mm:ss"
};

}  // namespace zrk::sim

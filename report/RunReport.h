#pragma once
// What one run did, port by port and phone by phone, as the run report records it: the images
// with their sizes and CRC-32s, each operation's times, bytes and typed outcome, and the verify
// result read from that outcome. Both front ends fill it; ReportJson writes it.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/DownloaderView.h"
#include "engine/Outcome.h"

namespace zrk::report {

using TimePoint = std::chrono::system_clock::time_point;

struct ImageRecord {
    std::string role;  // "firmware", "file-system", "file-system-config"
    std::string path;
    std::optional<std::uint64_t> size;   // unset when the file could not be read
    std::optional<std::uint32_t> crc32;  // of the whole file
};

enum class VerifyResult {
    NotRequested,  // no read-back was asked for
    Passed,        // every byte read back matched the image
    Failed,        // the phone holds something else (the outcome's cause says so)
    NotFinished,   // asked for, but the operation ended before the verify could judge
};

struct OperationRecord {
    Operation operation = Operation::BringUp;
    OutcomeKind outcome = OutcomeKind::Completed;
    FailureCause cause = FailureCause::None;
    std::string detail;
    TimePoint started{};
    TimePoint ended{};
    std::uint64_t bytes = 0;
    std::vector<ImageRecord> images;
    std::optional<std::uint32_t> startAddress;  // NOR address of a firmware image
    std::vector<int> sectors;                   // erase and dump: the chosen sectors
    VerifyResult verify = VerifyResult::NotRequested;
};

// One phone served on a port: the bring-up and the command's operation(s).
struct PhoneRecord {
    int number = 1;  // the n-th phone on this port (more than one with the loop)
    std::string flashName;
    std::optional<std::array<std::uint8_t, 8>> flashId;
    TimePoint started{};
    TimePoint ended{};
    std::vector<OperationRecord> operations;
    bool passed = false;
    std::string result;           // "passed", "failed", "timed out", "interrupted", ...
    std::optional<int> exitCode;  // the command line's class for this phone
    std::string reason;           // the closing complaint, when it failed
};

struct PortRecord {
    std::string port;    // "COM3", or the device path given for it
    std::string device;  // what was opened
    std::vector<PhoneRecord> phones;
    std::string note;  // a problem of the port as a whole (a simulator that saw violations)
};

struct RunReport {
    std::string program;  // "zrk410", "zrk410-gui"
    std::string version;
    std::string command;  // "download", ...
    std::vector<std::string> arguments;
    TimePoint started{};
    TimePoint ended{};
    std::optional<int> exitCode;
    std::vector<PortRecord> ports;
};

// The version of the program that wrote the report.
const char* programVersion();

// The firmware, file-system and configuration images an operation reads, each with its size and
// CRC-32 (read now; a file that cannot be read is named without them).
ImageRecord describeImage(const std::string& role, const std::string& path);

// Every image the choices name for their download mode, described once for a whole run.
std::vector<ImageRecord> imagesFor(const UserChoices& choices);

// One ended operation as the report keeps it: the images of those it read (from images, as
// imagesFor gave them), the start address of a firmware image, the chosen sectors of an erase or
// dump (one flag per sector), and the verify result.
OperationRecord makeOperationRecord(const OperationOutcome& outcome, const UserChoices& choices,
                                    const std::vector<ImageRecord>& images,
                                    const std::vector<std::int32_t>& sectorFlags, TimePoint started,
                                    TimePoint ended);

// What a read-back verify came to, from the operation's own outcome: asked is whether the
// download was to read back what it wrote (the verify operations always are).
VerifyResult verifyResultFor(const OperationOutcome& outcome, bool asked);

}  // namespace zrk::report

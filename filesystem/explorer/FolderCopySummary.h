#pragma once
// What a folder copy tells its front end: the figures while it runs, and at its end the lines
// that close its log and the one outcome it ends in.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Outcome.h"

namespace zrk {

struct FolderCopyProgress {
    std::size_t filesDone = 0;  // copied or failed
    std::size_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

struct FolderCopyFailure {
    std::string phonePath;  // local code page, or UTF-8 when the code page cannot hold it
    std::string reason;
};

struct FolderCopySummary {
    std::size_t directories = 0;  // created on the PC
    std::size_t files = 0;        // copied completely
    std::uint64_t bytes = 0;
    std::vector<FolderCopyFailure> failures;
    std::int64_t elapsedSeconds = 0;
    bool stopped = false;  // ended early by a stop or a lost link
};

// The figures, every failure with its reason, and whether it was stopped: each a log line of
// its own.
std::vector<std::string> folderCopyClosingLog(const FolderCopySummary& summary);

// abort: the stop or lost link that cut it short. topMissing: the phone has no directory of
// the name asked for. localFailure: a failure was on the PC's side (else: the phone's).
OperationOutcome folderCopyOutcome(const FolderCopySummary& summary,
                                   const std::optional<OperationOutcome>& abort, bool topMissing,
                                   bool localFailure);

}  // namespace zrk

#include "filesystem/explorer/FolderCopySummary.h"

#include "engine/ElapsedTime.h"
#include "engine/SafeText.h"
#include "engine/TextFormat.h"

namespace zrk {

std::vector<std::string> folderCopyClosingLog(const FolderCopySummary& summary) {
    std::vector<std::string> lines;
    lines.push_back(formatText("\r\n** Copied %d files (%llu bytes) and %d folders",
                               static_cast<int>(summary.files),
                               static_cast<unsigned long long>(summary.bytes),
                               static_cast<int>(summary.directories)) +
                    formatElapsed(" in %M:%S **\r\n", summary.elapsedSeconds));
    if (!summary.failures.empty()) {
        lines.push_back(formatText("** %d could not be copied: **\r\n",
                                   static_cast<int>(summary.failures.size())));
        for (const auto& failure : summary.failures)
            lines.push_back("   " + printableName(failure.phonePath) + ": " +
                            printableName(failure.reason) + "\r\n");
    }
    if (summary.stopped)
        lines.push_back("** The copy was stopped before its end **\r\n");
    return lines;
}

OperationOutcome folderCopyOutcome(const FolderCopySummary& summary,
                                   const std::optional<OperationOutcome>& abort, bool topMissing,
                                   bool localFailure) {
    OperationOutcome outcome;
    outcome.operation = Operation::Explorer;
    outcome.bytes = summary.bytes;
    outcome.elapsedSeconds = summary.elapsedSeconds;
    if (abort) {
        outcome.kind = abort->kind;
        outcome.cause = abort->cause;
        outcome.detail = abort->detail;
    } else if (topMissing) {
        outcome.kind = OutcomeKind::Failed;
        outcome.cause = FailureCause::NotOnPhone;
        outcome.detail = summary.failures.front().reason;
    } else if (!summary.failures.empty()) {
        outcome.kind = OutcomeKind::Failed;
        outcome.cause = localFailure ? FailureCause::File : FailureCause::PhoneReply;
        outcome.detail = formatText("%d of the files and folders could not be copied",
                                    static_cast<int>(summary.failures.size()));
    }
    return outcome;
}

}  // namespace zrk

#pragma once
// fs pull and fs backup: a phone directory copied into a folder on the PC through the
// explorer, and for a backup an image pair made from that folder afterwards.
#include <optional>
#include <string>

#include "cli/CommandLine.h"

namespace zrk {
class FolderPull;
struct FolderCopySummary;
struct OperationOutcome;
}  // namespace zrk

namespace zrk::cli {

class TerminalOutput;
class TerminalView;
struct PhoneJob;

struct CopyRequest {
    std::string folder;
    std::optional<std::string> version;  // a backup's image; default: the folder's name
    std::optional<std::string> release;
};

// Before the phone is touched: the folder can take the copy (for a backup: it is new or
// empty, the image pair beside it does not exist yet, and the version texts fit). EXIT_OK,
// or the exit code after saying why.
int checkCopyTarget(Command command, const CopyRequest& request, const std::string& codePage,
                    TerminalOutput& output);

// The image pair of a backup folder: DIR.qix (its .cfg beside it).
std::string backupImagePath(const std::string& folder);

// On the mounted explorer: starts the copy that the session then awaits.
void startFolderCopy(FolderPull& copy, const PhoneJob& job, TerminalOutput& output);

// After the closing exchange: the summary, for a backup the image pair, and the exit code.
int finishFolderCopy(const PhoneJob& job, const FolderCopySummary& summary,
                     const OperationOutcome& outcome, TerminalOutput& output);

}  // namespace zrk::cli

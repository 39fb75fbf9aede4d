#pragma once
// qix create, qix list and qix extract: file-system images on the PC, no phone involved.
#include "cli/CommandLine.h"

namespace zrk::cli {

class TerminalOutput;

// Returns the exit code.
int runQixCommand(const Options& options, TerminalOutput& output);

// How the command line's user chooses the code page of .cfg names; "NAME" stands for it.
inline constexpr const char* kCodePageOption = "--codepage NAME";

// Before the phone is asked to power on: everything a download checks that needs only the
// files. The code page (empty: the locale's) exists, the pair passes the download's own check,
// its lines and tree are sound, and every name converts and fits (else which code page would
// do). Says what is wrong and returns the exit; 0 when the pair is usable.
int refuseUnusableQixPair(const std::string& qixPath, const std::string& codePage,
                          TerminalOutput& output);

}  // namespace zrk::cli

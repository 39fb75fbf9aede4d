#pragma once
// qix create, qix list and qix extract: file-system images on the PC, no phone involved.
#include "cli/CommandLine.h"

namespace zrk::cli {

class TerminalOutput;

// Returns the exit code.
int runQixCommand(const Options& options, TerminalOutput& output);

// How the command line's user chooses the code page of .cfg names; "NAME" stands for it.
inline constexpr const char* kCodePageOption = "--codepage NAME";

// Before the phone is asked to power on: every name of the .cfg beside qixPath converts with
// the code page (empty: the locale's) and fits. Says which name does not, and which code page
// would do; 0 when they all do (or the pair is refused for another reason, reported later).
int refuseUnusableQixNames(const std::string& qixPath, const std::string& codePage,
                           TerminalOutput& output);

}  // namespace zrk::cli

#pragma once
// qix create, qix list and qix extract: file-system images on the PC, no phone involved.
#include "cli/CommandLine.h"

namespace zrk::cli {

class TerminalOutput;

// Returns the exit code.
int runQixCommand(const Options& options, TerminalOutput& output);

}  // namespace zrk::cli

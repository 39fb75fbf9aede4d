#pragma once
// The exit status of a phone command from the typed outcome of its operation.
#include "engine/Outcome.h"

namespace zrk::cli {

class TerminalOutput;

// What one ended operation means for the exit status, said once on stderr.
int exitFor(const OperationOutcome& outcome, TerminalOutput& output);

}  // namespace zrk::cli

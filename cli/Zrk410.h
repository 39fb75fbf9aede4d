#pragma once
// The whole zrk410 program behind main(), so that tests can run it in-process where no phone
// is involved.
#include "cli/TerminalOutput.h"

namespace zrk::cli {

int runZrk410(int argc, const char* const* argv, TerminalOutput& output);

}  // namespace zrk::cli

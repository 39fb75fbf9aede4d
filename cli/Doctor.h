#pragma once
// zrk410 doctor: why a port will or will not open, one finding a line. No phone is needed and
// nothing is sent; a port that may be opened is opened for a moment.
#include "cli/CommandLine.h"
#include "cli/TerminalOutput.h"

namespace zrk::cli {

// EXIT_OK when the port named by --port (without it: the stored port, which the phone
// commands use by default) can be used; EXIT_PORT_OR_FILE when it cannot.
int runDoctor(const Options& options, TerminalOutput& output);

}  // namespace zrk::cli

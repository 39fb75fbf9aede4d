#pragma once
// zrk410 over several phones at once: one engine per port, each on its own thread with its own
// link, watcher and loop, all running the same command; with --loop each port serves phone
// after phone until Ctrl-C. Ends with a summary table, the report when asked, and one exit code:
// 0 when every phone passed, otherwise the most serious class any phone ended with.
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/PhoneSession.h"

namespace zrk::cli {

class TerminalOutput;

// base is the job as the command line prepared it for one phone; o says which ports.
int runSeveralPhones(const Options& o, const PhoneJob& base,
                     const std::vector<std::string>& arguments, TerminalOutput& output);

}  // namespace zrk::cli

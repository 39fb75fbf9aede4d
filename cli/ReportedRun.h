#pragma once
// The run report's frame for a run of this command line, and one phone run as without
// --report, recorded for it.
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/PhoneSession.h"
#include "report/RunReport.h"

namespace zrk::cli {

class TerminalOutput;

report::RunReport reportFrame(const Options& o, const std::vector<std::string>& arguments);

// One phone as today, recorded for --report (the output is that of a run without it).
int runOnePhoneWithReport(const Options& o, PhoneJob job, const std::vector<std::string>& arguments,
                          TerminalOutput& output);

}  // namespace zrk::cli

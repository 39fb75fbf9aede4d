#pragma once
// zrk410 over several phones at once: one engine per port, each on its own thread with its own
// link, watcher and loop, all running the same command; with --loop each port serves phone
// after phone until Ctrl-C. Ends with a summary table, the report when asked, and one exit code:
// 0 when every phone passed, otherwise the most serious class any phone ended with.
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/PhoneSession.h"
#include "report/RunReport.h"

namespace zrk::cli {

class TerminalOutput;

// The order in which exit classes outrank each other: interrupted, internal, port or file,
// refused, phone failed, time-out, success.
int moreSerious(int a, int b);

// FILE with the port's name before its extension: "dump.bin" and COM2 give "dump-COM2.bin"; a
// device path gives its last part ("trace-ttyUSB0.txt").
std::string perPortPath(const std::string& path, const std::string& portName);

// The report's frame for a run of this command line.
report::RunReport reportFrame(const Options& o, const std::vector<std::string>& arguments);

// base is the job as the command line prepared it for one phone; o says which ports.
int runSeveralPhones(const Options& o, const PhoneJob& base,
                     const std::vector<std::string>& arguments, TerminalOutput& output);

// One phone as today, recorded for --report (the output is that of a run without it).
int runOnePhoneWithReport(const Options& o, PhoneJob job, const std::vector<std::string>& arguments,
                          TerminalOutput& output);

}  // namespace zrk::cli

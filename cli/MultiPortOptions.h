#pragma once
// The options of a run over several phones: more than one --port (or --ports), --sim --phones N
// with --sim-port for one simulated phone's own options, --loop and --report.
#include <string>

namespace CLI {
class App;
}

namespace zrk::cli {

struct Options;

void addMultiPortOptions(CLI::App& app, Options& o);
// After parsing: merges the port lists and checks what CLI11 cannot; an empty text when fine.
std::string finishMultiPortOptions(Options& o);

// True when the command runs through the several-phone runner: more than one port or simulated
// phone, or the loop.
bool runsSeveralPhones(const Options& o);

}  // namespace zrk::cli

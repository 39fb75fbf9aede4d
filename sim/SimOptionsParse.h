#pragma once
// The simulator's command-line options, shared by the executable and its tests.
#include <string>

#include "sim/SimOptions.h"

namespace CLI {
class App;
}

namespace zrk::sim {

struct ExecutableOptions {
    std::string linkPath;
    std::string stateOut;
    int runs = 0;  // 0: until a signal
    bool exitWithParent = false;
    // Raw texts converted by finishSimOptions.
    std::string flashIdHex;
    std::string customerIdHex;
    bool wrongFlashId = false;
    long latencyMs = 0;
    std::string corruptNand;  // PATH:OFFSET
};

void addSimOptions(CLI::App& app, SimOptions& options, ExecutableOptions& exe);
// Converts and checks what CLI11 cannot; throws CLI::ValidationError on bad values.
void finishSimOptions(SimOptions& options, const ExecutableOptions& exe);

// "00EC22FC00010000" -> bytes; empty on a malformed text (odd length, non-hex digit).
std::vector<std::uint8_t> parseHexBytes(const std::string& text);

}  // namespace zrk::sim

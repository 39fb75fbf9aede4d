#pragma once
// The fs commands: on a phone already brought up, the explorer takes the link over, mounts,
// runs the one exchange, unmounts with the closing exchange and gives the link back.
#include <functional>

#include "cli/PhoneSession.h"

namespace zrk {
class EngineLoop;
class SerialLink;
}  // namespace zrk

namespace zrk::cli {

// Returns the exit code.
int runExplorerCommand(const PhoneJob& job, SerialLink& link, EngineLoop& loop, TerminalView& view,
                       TerminalOutput& output, const std::function<bool()>& interrupted);

}  // namespace zrk::cli

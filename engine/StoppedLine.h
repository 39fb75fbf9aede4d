#pragma once
// The last line of a stopped operation: what was stopped, and what that leaves on the phone, so
// that nobody switches on a phone whose flash was cut off in the middle.
#include <string>

#include "engine/Outcome.h"

namespace zrk {

// "** Stopped during the firmware download: ...\r\n"; waitingForPhone: the bring-up had not
// heard the phone yet.
std::string stoppedLine(Operation operation, bool waitingForPhone);

}  // namespace zrk

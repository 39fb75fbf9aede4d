#pragma once
// Which ports a run of many phones serves, each with the job its phone gets: --sim makes
// COM1..COMn simulators (with their --sim-port options), otherwise every --port given, by its
// COM name or its device path, or the stored port alone.
#include <string>
#include <utility>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/PhoneSession.h"

namespace zrk::cli {

using PortTarget = std::pair<std::string, PhoneJob>;  // the port's name and its job

// False, with why in error, for a --port that is neither a COM name nor a device path.
bool portTargets(const Options& o, const PhoneJob& base, std::vector<PortTarget>* targets,
                 std::string* error);

}  // namespace zrk::cli

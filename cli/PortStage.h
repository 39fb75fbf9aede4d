#pragma once
// The word a port's line shows for where its phone stands.
#include <string>

#include "cli/CommandLine.h"
#include "engine/Stage.h"

namespace zrk::cli {

// loop: the port serves phone after phone, so a port waiting for one waits for the next.
std::string portStageLabel(Stage stage, Command command, bool loop);

}  // namespace zrk::cli

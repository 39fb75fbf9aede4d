#pragma once
// The word a port's line shows for where its phone stands, from the stage-words table.
#include <string>

#include "cli/CommandLine.h"
#include "engine/Stage.h"
#include "station/StationEvents.h"

namespace zrk::cli {

// loop: the port serves phone after phone, so a port waiting for one waits for the next. Where
// the table leaves the word to the command (its operation under way), the command's own.
std::string portStageLabel(Stage stage, Command command, bool loop);

// A state the engine cannot tell: done, failed, stopped, port problem.
std::string portStageLabel(station::PortState state);

}  // namespace zrk::cli

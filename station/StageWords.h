#pragma once
// Where a port and its phone stand, in the words of each audience: the engine's own name for
// its stage (checks and traces), the station's tile, and the command line's port line. One row
// per stage, in one table, so that no front end spells a stage of its own.
#include "engine/Stage.h"
#include "station/StationEvents.h"

namespace zrk::station {

struct StageWords {
    const char* engine;       // the engine's name for its stage; empty for a port's own states
    const char* tile;         // a station tile; empty where no tile shows it
    const char* line;         // the command line's port line; empty: the command's own word
    const char* lineLooping;  // the port line while the port serves phone after phone
};

const StageWords& stageWords(Stage stage);
const StageWords& stageWords(PortState state);

inline const char* stageName(Stage stage) {
    return stageWords(stage).engine;
}

}  // namespace zrk::station

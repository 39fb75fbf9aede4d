#include "cli/PortStage.h"

#include "station/StageWords.h"

namespace zrk::cli {

namespace {

// What the port's line says while the command runs.
const char* workingStage(Command c) {
    switch (c) {
        case Command::Identify:
            return "identified";
        case Command::Download:
            return "downloading";
        case Command::Erase:
            return "erasing";
        case Command::Dump:
            return "dumping";
        case Command::Format:
            return "formatting";
        case Command::Status:
            return "reading status";
        case Command::Verify:
            return "verifying";
        default:
            return "file system";
    }
}

}  // namespace

std::string portStageLabel(Stage stage, Command command, bool loop) {
    const station::StageWords& words = station::stageWords(stage);
    const std::string word = loop ? words.lineLooping : words.line;
    return word.empty() ? workingStage(command) : word;
}

std::string portStageLabel(station::PortState state) {
    return station::stageWords(state).line;
}

}  // namespace zrk::cli

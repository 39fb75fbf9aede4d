#include "cli/PortStage.h"

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
    switch (stage) {
        case Stage::WaitingForPhone:
            return loop ? "waiting for next phone" : "waiting for power-on";
        case Stage::Initial:
        case Stage::Idle:
        case Stage::BringingUp:
            return "bringing up";
        case Stage::Verifying:
            return "verifying";
        case Stage::Ready:
        case Stage::Working:
            break;
    }
    return workingStage(command);
}

}  // namespace zrk::cli

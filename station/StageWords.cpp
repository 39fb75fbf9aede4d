#include "station/StageWords.h"

#include <iterator>
#include <optional>

namespace zrk::station {

namespace {

struct Row {
    std::optional<Stage> stage;
    std::optional<PortState> state;
    StageWords words;
};

// A port's states that no engine stage has (not started, and how the last phone ended) have no
// engine name; the engine's stages between operations have no tile of their own.
constexpr Row kRows[] = {
    {Stage::Initial, std::nullopt, {"initial", "", "bringing up", "bringing up"}},
    {std::nullopt, PortState::Idle, {"", "not started", "starting", "starting"}},
    {Stage::WaitingForPhone,
     PortState::Waiting,
     {"waiting for the phone", "waiting for a phone", "waiting for power-on",
      "waiting for next phone"}},
    {Stage::BringingUp,
     PortState::BringingUp,
     {"bringing up", "bringing up", "bringing up", "bringing up"}},
    {Stage::Idle, std::nullopt, {"idle", "", "bringing up", "bringing up"}},
    {Stage::Ready, std::nullopt, {"ready", "", "", ""}},
    {Stage::Working, PortState::Downloading, {"working", "downloading", "", ""}},
    {Stage::Verifying, PortState::Verifying, {"verifying", "verifying", "verifying", "verifying"}},
    {std::nullopt, PortState::Done, {"", "done", "done", "done"}},
    {std::nullopt, PortState::Failed, {"", "failed", "failed", "failed"}},
    {std::nullopt, PortState::Stopped, {"", "stopped", "stopped", "stopped"}},
    {std::nullopt, PortState::PortProblem, {"", "port problem", "port problem", "port problem"}},
};

constexpr StageWords kNoWords{"", "", "", ""};

}  // namespace

const StageWords& stageWords(Stage stage) {
    for (const Row& row : kRows)
        if (row.stage == stage)
            return row.words;
    return kNoWords;
}

const StageWords& stageWords(PortState state) {
    for (const Row& row : kRows)
        if (row.state == state)
            return row.words;
    return kNoWords;
}

const char* portStateWords(PortState state) {
    return stageWords(state).tile;
}

}  // namespace zrk::station

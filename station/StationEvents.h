#pragma once
// What a port's runner tells the window, from the runner's thread. The window drains the queue on
// its own timer, so a busy line costs the window only the events, never its bytes: progress is
// already thinned out by the runner, and log lines come in the engine's own pieces.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/DownloaderView.h"
#include "engine/Outcome.h"

namespace zrk::station {

// Where a port stands, as its tile says it.
enum class PortState {
    Idle,         // not started
    Waiting,      // the port is open, no phone has spoken yet
    BringingUp,   // boot ROM, loaders, flash identification
    Downloading,  // the recipe's download
    Verifying,    // reading back what was written
    Done,         // the last phone passed; with the loop, until the next one speaks
    Failed,       // the last phone failed
    Stopped,      // Stop ended the port
    PortProblem,  // the port cannot be opened, or went away while waiting
};

// The tile's words for the state (the stage-words table's).
const char* portStateWords(PortState state);

struct PhoneResult {
    int number = 0;  // the n-th phone on this port
    bool passed = false;
    std::string cause;  // why it failed, in words; empty when it passed
    std::string flashName;
    double seconds = 0;
    std::uint64_t bytes = 0;
    int passedCount = 0;
    int failedCount = 0;
    std::string reportPath;   // where its report went; empty when none was asked for
    std::string reportError;  // why the report could not be written
};

struct StationEvent {
    enum class Kind { State, Progress, Log, Flash, Phone, Ended };
    int port = 0;  // the runner's index
    Kind kind = Kind::State;
    PortState state = PortState::Idle;  // State, and the last state with Ended
    std::uint64_t position = 0;         // Progress
    std::uint64_t total = 0;
    double rate = 0;                          // Progress: units a second since the operation began
    ProgressUnit unit = ProgressUnit::Bytes;  // Progress
    std::string text;                  // Log: a piece of the log; Flash: its name; Ended: why
    std::optional<PhoneResult> phone;  // Phone
};

// Many runners put, one window takes.
class EventQueue {
  public:
    void put(StationEvent event) {
        std::lock_guard lock(m_Lock);
        m_Events.push_back(std::move(event));
    }
    std::vector<StationEvent> take() {
        std::lock_guard lock(m_Lock);
        std::vector<StationEvent> out;
        out.swap(m_Events);
        return out;
    }

  private:
    std::mutex m_Lock;
    std::vector<StationEvent> m_Events;
};

}  // namespace zrk::station

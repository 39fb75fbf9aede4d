#pragma once
// What a front end whose controls follow the link makes of the engine's news: START opened the
// port and a bring-up holds the phone, an operation holds it, the phone is free again, the link
// is closed. The engine only tells its stage, its outcomes and the link's end; a front end feeds
// them here, in the order they come, and sets its controls from what comes back.
#include <optional>

#include "engine/Outcome.h"
#include "engine/Stage.h"

namespace zrk {

enum class FrameTurn {
    PortOpened,  // START: the port is open and the bring-up holds the phone
    Busy,        // an operation holds the phone
    Freed,       // what held the phone ended and another operation may start
    Closed,      // the link is over
};

class FrameTurns {
  public:
    std::optional<FrameTurn> stageChanged(Stage stage);
    std::optional<FrameTurn> operationEnded(const OperationOutcome& outcome);
    FrameTurn linkClosed();

  private:
    // A bring-up or an operation holds the phone and has not ended yet.
    bool m_Held = false;
};

}  // namespace zrk

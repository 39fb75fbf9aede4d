#pragma once
// The protocol engine of one link with everything it talks to replaced by recorders: the link
// keeps every write and every byte fed, the view every event, stage and outcome.
#include "bringup/BringUp.h"
#include "fuzz/FuzzTargetData.h"
#include "fuzz/RecordingLink.h"
#include "protocol/ProtocolEngine.h"
#include "support/FakeClock.h"
#include "support/RecordingView.h"

namespace zrk::fuzz {

struct EngineRig {
    EngineRig() { engine.bringUp().setTargetData(fuzzTargetData()); }

    RecordingLink link;
    test::RecordingView view;
    test::FakeClock clock;
    ProtocolEngine engine{link, view, clock};
};

}  // namespace zrk::fuzz

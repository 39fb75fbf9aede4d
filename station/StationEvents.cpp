#include "station/StationEvents.h"

namespace zrk::station {

const char* portStateWords(PortState state) {
    switch (state) {
        case PortState::Idle:
            return "not started";
        case PortState::Waiting:
            return "waiting for a phone";
        case PortState::BringingUp:
            return "bringing up";
        case PortState::Downloading:
            return "downloading";
        case PortState::Verifying:
            return "verifying";
        case PortState::Done:
            return "done";
        case PortState::Failed:
            return "failed";
        case PortState::Stopped:
            return "stopped";
        case PortState::PortProblem:
            return "port problem";
    }
    return "";
}

}  // namespace zrk::station

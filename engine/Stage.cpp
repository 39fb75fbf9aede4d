#include "engine/Stage.h"

namespace zrk {

const char* stageName(Stage stage) {
    switch (stage) {
        case Stage::Initial:
            return "initial";
        case Stage::WaitingForPhone:
            return "waiting for the phone";
        case Stage::BringingUp:
            return "bringing up";
        case Stage::Idle:
            return "idle";
        case Stage::Ready:
            return "ready";
        case Stage::Working:
            return "working";
        case Stage::Verifying:
            return "verifying";
    }
    return "";
}

}  // namespace zrk

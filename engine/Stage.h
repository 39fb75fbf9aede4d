#pragma once
// Where a link stands, as a front end may know it: the protocol's state numbers belong to the
// phases that run them, and this is all of them that anyone outside needs.
#include <cstdint>

namespace zrk {

enum class Stage {
    Initial,          // nothing started yet
    WaitingForPhone,  // START: the port is open and the phone has not asked to connect yet
    BringingUp,       // pre-loader, speed switch, boot-loader, identification
    Idle,             // no exchange and no identified phone: stopped, or a bring-up ended
    Ready,            // the phone is identified and nothing runs: an operation may start
    Working,          // an operation is under way
    Verifying,        // a read-back verify is under way
};

}  // namespace zrk

#pragma once
// An exchange of the NOR operations, numbered by the state it waits in.
#include "engine/Exchange.h"
#include "loader/LoaderStates.h"

namespace zrk::loader {

inline Exchange loaderExchange(LoaderState state, const char* name) {
    return Exchange(name, stateNumber(state));
}

}  // namespace zrk::loader

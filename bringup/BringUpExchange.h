#pragma once
// An exchange of the bring-up: numbered by its state, and failing as every bring-up step fails,
// its words logged and carried whole as the failure's detail, the link left idle until Stop.
#include "bringup/BringUpStates.h"
#include "engine/Exchange.h"

namespace zrk::bringup {

inline Exchange bringUpExchange(BringUpState state, const char* name) {
    Exchange exchange(name, stateNumber(state));
    exchange.failureDetail(Exchange::Detail::AsLogged);
    return exchange;
}

}  // namespace zrk::bringup

#pragma once
// Before anything goes to the phone: the code page exists and every name of the chosen .cfg
// converts with it and fits. A common code page that fits is offered; a refusal is logged and
// ends the operation. True when the operation may start. A pair that fails the image check
// passes here: the operation's own check reports it in its own words.
#include "engine/Outcome.h"

namespace zrk {

class PhaseContext;

bool qixNamesUsable(PhaseContext& context, Operation operation);

}  // namespace zrk

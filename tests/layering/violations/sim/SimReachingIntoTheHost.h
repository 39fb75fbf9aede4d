// Deliberately wrong: the simulator may use the pseudo-terminal and the target images, but a
// phone that shares the host's engine would hide the host's mistakes.
#pragma once
// The order of these lines is the order the check reports them in: kept as written.
// clang-format off
#include "engine/TargetImages.h"
#include "engine/PhaseContext.h"
// clang-format on

// Deliberately wrong: the simulator may use the pseudo-terminal and the target images, but a
// phone that shares the host's engine would hide the host's mistakes.
#pragma once
#include "engine/PhaseContext.h"
#include "engine/TargetImages.h"

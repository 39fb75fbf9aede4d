// Deliberately wrong: the window and the command line are two front ends side by side.
#include "cli/ExitCodes.h"

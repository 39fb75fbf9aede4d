// Deliberately wrong: the command line may not borrow the window's code, nor start the
// simulator in-process (it runs it as a program of its own).
#include "app/LogPane.h"
#include "sim/Phone.h"

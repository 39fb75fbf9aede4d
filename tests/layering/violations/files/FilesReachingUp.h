#pragma once
// Deliberately wrong: the file layer sits below the link and may not see it.
#include "serial/SerialLink.h"

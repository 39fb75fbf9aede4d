// A core header that reaches up into a phase: the layering check must refuse it.
#pragma once
#include "bringup/BringUp.h"

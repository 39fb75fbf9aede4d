#pragma once
// The user's words for a failed open.
#include <string>

#include "serial/SerialLink.h"

namespace zrk {

std::string describeOpenFailure(const OpenFailure& failure);

}  // namespace zrk

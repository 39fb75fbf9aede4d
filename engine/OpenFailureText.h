#pragma once
// The user's words for a failed open.
#include <cstdint>
#include <string>

#include "serial/SerialLink.h"

namespace zrk {

class PromptView;

std::string describeOpenFailure(const OpenFailure& failure);

// Opens the port; a refused line or reader shows its message box as the port's own open does
// ("Fail!!", "CreateThread Fail!!").
bool openLinkTellingWhyNot(SerialLink& link, PromptView& view, std::uint16_t portNumber,
                           std::uint32_t baud);

}  // namespace zrk

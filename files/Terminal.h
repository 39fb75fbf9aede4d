#pragma once
// Whether a standard stream is a terminal (progress bars and colours go only there), and how
// wide it is.
#include <cstdio>
#include <optional>

namespace zrk {

bool isTerminal(std::FILE* stream);
// nullopt when the stream is no terminal or does not say.
std::optional<int> terminalColumns(std::FILE* stream);

}  // namespace zrk

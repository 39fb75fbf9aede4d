#include "files/ProgramText.h"

namespace zrk {

std::vector<std::string> programArguments(int argc, const char* const* argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool programTextIsUtf8() {
    return false;
}

std::optional<std::string> systemAnsiCodePage() {
    return std::nullopt;
}

ConsoleShowsUtf8::ConsoleShowsUtf8() = default;
ConsoleShowsUtf8::~ConsoleShowsUtf8() = default;

}  // namespace zrk

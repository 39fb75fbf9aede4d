#pragma once
// A phone path typed on the command line is in the terminal's encoding, the locale's; the
// phone reads UTF-8. The explorer converts it when it is sent, but a path that cannot be
// converted is better refused before the phone is powered on, saying which name and which
// encoding.
#include <string>

namespace zrk::cli {

// Empty when path converts from the locale's encoding; else the words of the refusal.
std::string typedPhonePathProblem(const std::string& path);

}  // namespace zrk::cli

#pragma once
// --link PATH: a fixed name for the simulator's terminal. PATH may lie in a folder that others
// write to, and the simulator may run as root, so the link replaces nothing but a link that an
// earlier run could have left there, and goes at the end only while it is still ours.
#include <string>

namespace zrk::sim {

// Makes PATH a symbolic link to target (the terminal). What is at PATH already must be this
// user's link to a pseudo-terminal (/dev/pts/N); anything else is left as it is and the answer
// is false, with the reason in error.
bool placeTerminalLink(const std::string& path, const std::string& target, std::string* error);

// Removes PATH if it still is this user's link to target.
void removeTerminalLink(const std::string& path, const std::string& target);

}  // namespace zrk::sim

#pragma once
// What each command's --help ends with: an example of the command as typed, and a pointer to
// the exit status table, which only the top-level --help prints in full.
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace zrk::cli {

// Every command's example as typed, "zrk410" first, with the command's path ("fs get").
const std::vector<std::pair<std::string, std::string>>& commandExamples();

// Gives each command under app (and under those) its example and the one-line pointer.
void setCommandFooters(CLI::App& app);

}  // namespace zrk::cli

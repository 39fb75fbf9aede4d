#pragma once
// A word typed where a command belongs that names none: the complaint names the word and, when
// one command is clearly what was meant, that command.
#include <optional>
#include <string>
#include <vector>

namespace zrk::cli {

// Edits (insert, delete, replace, swap two neighbours) that turn one word into the other.
std::size_t typingDistance(const std::string& a, const std::string& b);

// The command nearest to word, when it is near enough to have been meant and no other command
// is as near.
std::optional<std::string> nearestCommand(const std::string& word,
                                          const std::vector<std::string>& commands);

// "unknown command 'downlaod'; did you mean 'download'?"; group is the command the word came
// after ("fs"), or empty.
std::string unknownCommandText(const std::string& word, const std::string& group,
                               const std::vector<std::string>& commands);

}  // namespace zrk::cli

#pragma once
// The download reads a .cfg by substring search, so a text no tool of ours writes can pass its
// own check and still send something else than it lists: a name that runs on over a bare LF
// into the next line, a size that belongs to no file, one path twice under two spellings, a
// file where a folder must be. These checks read it as its format says and hold its tree to
// what `qix create` makes, so what the phone is left with is what the .cfg shows, before
// anything is sent.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zrk {

class CodePage;
class QixConfig;

struct QixTreeProblem {
    std::size_t line = 0;  // of the .cfg, from 1
    std::string what;      // names shown with their control bytes escaped
};

// Lines end in CR LF; a key's value (the rest of its line) holds no control character and no
// other key; every FILE_NAME has one FILE_SIZE, a number, before the next FILE_NAME.
std::optional<QixTreeProblem> checkQixLines(std::string_view text);

// The names as the phone takes them (phonePathParts): each path once, as a folder or as a
// file but not both (a file's folders count), never the root itself, no ".." part, no part
// over kMaxNamePartUtf8 and no C1 control character. For a configuration whose lines and
// names passed (checkQixLines, checkQixNames).
std::optional<QixTreeProblem> checkQixTree(const QixConfig& config, const CodePage& codePage);

// The parts of a UTF-8 path as the phone stores it: empty and "." parts dropped, blanks at the
// end of each part dropped. nullopt for a ".." part, which the phone would resolve.
std::optional<std::vector<std::string>> phonePathParts(std::string_view utf8);

// "fs.cfg, line 4: what", for a log line or a diagnostic.
std::string qixTreeRefusal(const QixTreeProblem& problem, const std::string& configPath);

}  // namespace zrk

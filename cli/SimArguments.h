#pragma once
// --sim[=OPTIONS]: the phone simulator's own options, written compactly on our command line.
#include <string>
#include <vector>

namespace zrk::cli {

// OPTIONS are separated by commas or white space. A word written with its dashes goes through
// as it stands, and so does the word after a dashed option without '=' (its value):
//   "--latency 5 --transcript t.txt"  ->  --latency 5 --transcript t.txt
// A bare word gets the dashes added; its value then goes with '=':
//   "pace,latency=5"                  ->  --pace --latency=5
std::vector<std::string> splitSimOptions(const std::string& options);

}  // namespace zrk::cli

#pragma once
// Every file a run writes must have a name of its own: two outputs that resolve to one file
// (per-port names that come out equal, --out and --trace alike, a link to another output)
// would lose one of them, so such a run is refused before any phone is touched.
#include <string>
#include <vector>

namespace zrk::cli {

struct NamedOutput {
    std::string what;  // "--out of COM2"
    std::string path;
};

// Empty when every output has a file of its own; otherwise what collides, in words.
std::string outputClash(const std::vector<NamedOutput>& outputs);

// FILE with the port's name before its extension: "dump.bin" and COM2 give "dump-COM2.bin"; a
// device path gives its last part ("trace-ttyUSB0.txt").
std::string perPortPath(const std::string& path, const std::string& portName);

}  // namespace zrk::cli

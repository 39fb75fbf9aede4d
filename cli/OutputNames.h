#pragma once
// Every file a run writes must have a name of its own: two outputs that resolve to one file
// (per-port names that come out equal, --out and --trace alike, a link to another output)
// would lose one of them, and an output that is an input (--trace naming the --bin) would
// replace what the run reads. Such a run is refused before any phone is touched, as is an
// output that names a FIFO or a device the user did not name as one.
#include <string>
#include <vector>

namespace zrk::cli {

struct NamedOutput {
    std::string what;  // "--out of COM2"
    std::string path;
    bool folder = false;  // a folder copy's target: its own checks judge what may stand there
};

struct NamedInput {
    std::string what;  // "--bin"
    std::string path;
    bool folder = false;  // an output anywhere below it counts as the input
};

// Empty when every output has a file of its own; otherwise what collides, in words.
std::string outputClash(const std::vector<NamedOutput>& outputs);

// Empty when no output is one of the inputs, by file identity or by resolved path, and none
// lies inside an input folder; otherwise both, in words.
std::string inputClash(const std::vector<NamedOutput>& outputs,
                       const std::vector<NamedInput>& inputs);

// Empty when every output may be written (see files/OutputTarget.h); otherwise why not.
std::string unwritableOutput(const std::vector<NamedOutput>& outputs);

// The three above, in that order: everything the command line refuses about its outputs.
std::string outputsRefusal(const std::vector<NamedOutput>& outputs,
                           const std::vector<NamedInput>& inputs);

// The files a download or a verify reads: the firmware image, the .qix and its .cfg (empty
// paths are left out).
std::vector<NamedInput> imageInputs(const std::string& binPath, const std::string& qixPath,
                                    const std::string& cfgPath);

// FILE with the port's name before its extension: "dump.bin" and COM2 give "dump-COM2.bin"; a
// device path gives its last part ("trace-ttyUSB0.txt").
std::string perPortPath(const std::string& path, const std::string& portName);

}  // namespace zrk::cli

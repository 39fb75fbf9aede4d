#pragma once
// zrk410 verify: compares the phone with the images without writing anything, the firmware
// against the NOR, the file system against the NAND files, or both in that order; and the
// download's --verify, which reads back what it wrote.
#include <string>

namespace CLI {
class App;
}

namespace zrk::cli {

struct Options;

// The verify sub-command and the download's --verify flag.
CLI::App* addVerifyCommand(CLI::App& app, Options& o);
void addVerifyFlag(CLI::App& download, Options& o);
// After parsing: what the command needs that CLI11 cannot say; an empty text when fine.
std::string checkVerifyUsage(const Options& o);

}  // namespace zrk::cli

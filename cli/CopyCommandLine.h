#pragma once
// The command line's image commands (qix create, list, extract) and the phone-to-PC copies
// (fs pull, fs backup), added to the parser beside the others.
#include <optional>

#include "cli/CommandLine.h"

namespace CLI {
class App;
}

namespace zrk::cli {

struct CopySubcommands {
    CLI::App* create = nullptr;
    CLI::App* list = nullptr;
    CLI::App* extract = nullptr;
    CLI::App* pull = nullptr;
    CLI::App* backup = nullptr;

    // The one of them that was given, if any.
    std::optional<Command> parsed() const;
};

// fs: the "fs" sub-command, which gets pull and backup.
CopySubcommands addCopySubcommands(CLI::App& app, CLI::App& fs, Options& o);

}  // namespace zrk::cli

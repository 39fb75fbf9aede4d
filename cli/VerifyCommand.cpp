#include "cli/VerifyCommand.h"

#include <CLI/CLI.hpp>

#include "cli/CommandLine.h"

namespace zrk::cli {

CLI::App* addVerifyCommand(CLI::App& app, Options& o) {
    auto* verify = app.add_subcommand(
        commandWord(Command::Verify),
        "read the phone's NOR flash or NAND files back and compare them with the images; "
        "nothing is written (a difference is exit 4)");
    verify->add_option("--bin", o.binPath, "firmware image (.bin or .cla) to compare the NOR with")
        ->type_name("FILE");
    verify
        ->add_option("--qix", o.qixPath,
                     "file-system image (.qix; its .cfg beside it) to compare the NAND files with")
        ->type_name("FILE");
    verify
        ->add_option("--start-addr", o.startAddress,
                     "NOR address (hex) where the image begins; default 10000000")
        ->type_name("HEX");
    return verify;
}

void addVerifyFlag(CLI::App& download, Options& o) {
    download.add_flag("--verify", o.verify,
                      "read back what was written and compare it with the image (as long again "
                      "as a dump of it); a difference is exit 4, and --power-on waits for a good "
                      "verify");
}

std::string checkVerifyUsage(const Options& o) {
    if (o.command == Command::Verify && o.binPath.empty() && o.qixPath.empty())
        return "verify: give --bin FILE, --qix FILE or both";
    return {};
}

}  // namespace zrk::cli

#include "cli/CommandHelp.h"

#include <CLI/CLI.hpp>

namespace zrk::cli {
namespace {

void setFooters(CLI::App& app, const std::string& path) {
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        const std::string typed =
            path.empty() ? command->get_name() : path + " " + command->get_name();
        std::string footer;
        for (const auto& [name, example] : commandExamples())
            if (name == typed)
                footer += "Example:\n  " + example + "\n";
        footer += "Exit status: see zrk410 --help.\n";
        command->footer(footer);
        setFooters(*command, typed);
    }
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& commandExamples() {
    static const std::vector<std::pair<std::string, std::string>> examples = {
        {"identify", "zrk410 --port COM3 identify"},
        {"download", "zrk410 --port COM3 download --bin firmware.bin --qix files.qix --verify"},
        {"verify", "zrk410 --port COM3 verify --bin firmware.bin"},
        {"erase", "zrk410 erase --sectors 0-3,518"},
        {"dump", "zrk410 dump --sectors all --out nor.bin"},
        {"format", "zrk410 format --yes"},
        {"status", "zrk410 status"},
        {"crc", "zrk410 crc firmware.bin"},
        {"fs", "zrk410 fs ls /docs"},
        {"fs ls", "zrk410 fs ls /docs"},
        {"fs get", "zrk410 fs get /docs/readme.txt --out readme.txt"},
        {"fs rm", "zrk410 fs rm /docs/old.txt"},
        {"fs stat", "zrk410 fs stat /docs/readme.txt"},
        {"fs nand-dump", "zrk410 fs nand-dump --out nand.bin"},
        {"fs pull", "zrk410 fs pull /docs docs-copy"},
        {"fs backup", "zrk410 fs backup phone-backup"},
        {"qix", "zrk410 qix list files.qix"},
        {"qix create", "zrk410 qix create folder --out files.qix"},
        {"qix list", "zrk410 qix list files.qix"},
        {"qix extract", "zrk410 qix extract files.qix folder"},
        {"doctor", "zrk410 doctor --port COM3"},
        {"ports", "zrk410 ports"},
    };
    return examples;
}

void setCommandFooters(CLI::App& app) {
    setFooters(app, {});
}

}  // namespace zrk::cli

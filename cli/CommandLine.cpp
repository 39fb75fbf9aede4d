#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include "cli/CommandHelp.h"
#include "cli/CommandSuggestion.h"
#include "cli/CopyCommandLine.h"
#include "cli/ExitCodes.h"
#include "cli/MultiPortOptions.h"
#include "cli/PortsCommand.h"
#include "cli/VerifyCommand.h"
#include "engine/LineSpeeds.h"

namespace zrk::cli {

namespace {

constexpr const char* kExitCodes =
    "Exit status:\n"
    "  0    the operation completed\n"
    "  1    the command is not available in this version\n"
    "  2    bad usage (unknown option, missing or malformed argument)\n"
    "  3    port or file problem: the port cannot be opened or went away (cable pulled),\n"
    "       a file cannot be read or written, the phone simulator cannot be started\n"
    "  4    the phone replied wrongly (or, with --sim, the simulator saw a protocol violation)\n"
    "  5    time-out: the phone sent nothing for --timeout seconds\n"
    "  6    the phone holds no file or folder of the name given (fs get, stat, rm, ls, pull)\n"
    "  130  interrupted (Ctrl-C); the link was ended cleanly\n"
    "With several ports: 0 when every phone passed, otherwise the most serious class that\n"
    "any phone ended with, in this order: 130, 1, 3, 2, 6, 4, 5. With --loop, Ctrl-C while the\n"
    "ports wait for their next phones ends the run normally.\n";

// The complaint for a word typed where a command belongs, or nullopt when the command was left
// out rather than mistyped (CLI11 says only that one is required).
std::optional<std::string> unknownCommandComplaint(CLI::App& app) {
    CLI::App* at = &app;
    std::string group;
    for (CLI::App* next = at; next;) {
        at = next;
        next = nullptr;
        for (CLI::App* sub : at->get_subcommands({}))
            if (sub->parsed())
                next = sub;
        if (next && at != &app)
            group += (group.empty() ? "" : " ") + at->get_name();
    }
    if (at != &app)
        group += (group.empty() ? "" : " ") + at->get_name();
    if (at->get_require_subcommand_min() == 0)
        return std::nullopt;
    std::vector<std::string> commands;
    for (const CLI::App* sub : at->get_subcommands({}))
        commands.push_back(sub->get_name());
    // The words no option took, in the order typed; the first is where the command was wanted.
    for (const std::string& word : app.remaining(true))
        if (!word.empty() && word.front() != '-')
            return unknownCommandText(word, group, commands);
    return std::nullopt;
}

}  // namespace

ParseOutcome parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                              std::ostream& err) {
    Options o;
    CLI::App app{
        "zrk410: flash a ZR-K410 phone through a serial cable.\n"
        "Every phone command brings the phone up first (switch it on when asked),\n"
        "runs its operation, and closes the link at the end.",
        "zrk410"};
    // CLI11 takes "/name" for an option on Windows, and phone paths start with "/". Set before
    // any command is added: commands copy the setting when they are made.
    app.allow_windows_style_options(false);
    app.footer(kExitCodes);
    app.set_version_flag("--version", std::string("zrk410 ") + ZRK_VERSION,
                         "print the version and exit");
    app.require_subcommand(1);
    app.fallthrough();

    app.add_option("--port", o.portList,
                   "COM1..COM20 (mapped as in the window) or a device path such as /dev/ttyUSB0; "
                   "default: the window's stored port. Given again, each port gets a phone of "
                   "its own, all served at once. auto: the one USB adapter present "
                   "(zrk410 ports lists them)")
        ->type_name("COMn|PATH|auto")
        ->allow_extra_args(false);
    app.add_option("--speed", o.speed, "line speed after the boot ROM stage; default: stored")
        ->check(CLI::IsMember(std::vector<unsigned>(kLineSpeeds.begin(), kLineSpeeds.end())))
        ->type_name("BAUD");
    app.add_option("--sim", o.simOptions,
                   "run against a fresh phone simulator (zrk410-phonesim); OPTIONS are its own "
                   "options separated by commas or spaces, e.g. --sim=pace,latency=5")
        ->expected(0, 1)
        ->type_name("[=OPTIONS]");
    app.add_option("--timeout", o.timeoutSeconds,
                   "give up when the phone sends nothing for this many seconds, waiting for it "
                   "to be switched on included; 0 waits for ever")
        ->type_name("SECONDS")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--trace", o.tracePath,
                   "write every byte block in both directions, with "
                   "time stamps, to FILE")
        ->type_name("FILE");
    app.add_option("--log", o.logPath, "write a copy of the log to FILE")->type_name("FILE");
    app.add_option("--codepage", o.codePage,
                   "code page of the .cfg files read and written (download, verify, qix, "
                   "fs backup), such as CP1252 or CP949; default: the locale's. Names typed "
                   "and shown are always in the locale's encoding")
        ->type_name("NAME");
    app.add_flag("--quiet,-q", o.quiet,
                 "no log and no progress bar; message lines and errors only");
    addMultiPortOptions(app, o);

    auto* identify = app.add_subcommand(commandWord(Command::Identify),
                                        "bring the phone up and report the flash");

    auto* download = app.add_subcommand(
        commandWord(Command::Download),
        "download a firmware image into NOR flash, a file system into NAND, or both (the "
        "firmware first)");
    download->add_option("--bin", o.binPath, "firmware image (.bin or .cla)")->type_name("FILE");
    download->add_flag("--force", o.force,
                       "write the --bin image even when its content looks like no firmware (a "
                       ".qix, an ELF program, HEX or S-record text, an archive)");
    download
        ->add_option("--qix", o.qixPath,
                     "file-system image (.qix; its .cfg is the same name with .cfg)")
        ->type_name("FILE");
    download
        ->add_option("--start-addr", o.startAddress,
                     "NOR address (hex) of the sector where the image begins; default "
                     "10000000")
        ->type_name("HEX")
        ->check([](const std::string& text) {
            // Given but empty would otherwise quietly mean the default address.
            return text.empty() ? std::string(
                                      "an empty address; give one such as 10020000 or "
                                      "leave the option out")
                                : std::string();
        });
    download->add_flag("--power-on", o.powerOn, "switch the phone on after the download");
    addVerifyFlag(*download, o);
    auto* verify = addVerifyCommand(app, o);

    auto* erase = app.add_subcommand(commandWord(Command::Erase), "erase NOR sectors");
    erase->add_option("--sectors", o.sectors, "sectors such as 0-3,511,518, or all")
        ->type_name("LIST")
        ->required();

    auto* dump =
        app.add_subcommand(commandWord(Command::Dump), "read NOR sectors into a file (raw bytes)");
    dump->add_option("--sectors", o.sectors, "sectors such as 0-3,511,518, or all")
        ->type_name("LIST")
        ->required();
    dump->add_option("--out", o.outPath, "the file to write")->type_name("FILE")->required();

    auto* format = app.add_subcommand(
        commandWord(Command::Format),
        "erase and re-create the NAND file system (asks on a terminal; --yes confirms)");
    format->add_flag("--yes", o.yes, "confirm the format without asking");
    auto* status = app.add_subcommand(commandWord(Command::Status),
                                      "print the NAND file system's status record");

    auto* crc = app.add_subcommand(commandWord(Command::Crc),
                                   "print a file's CRC-32 and size; no phone needed");
    crc->add_option("FILE", o.crcPath, "the file")->type_name("FILE")->required();

    auto* fs = app.add_subcommand(
        "fs", "browse and read the phone's NAND file system (mounted for the command)");
    fs->require_subcommand(1);
    auto* fsLs =
        fs->add_subcommand(commandWord(Command::FsList),
                           "list a directory: one name a line, directories with a trailing /");
    fsLs->add_option("PATH", o.fsPath, "the directory; default /")->type_name("PATH");
    auto* fsGet = fs->add_subcommand(commandWord(Command::FsGet), "read a file out of the phone");
    fsGet->add_option("PATH", o.fsPath, "the file on the phone")->type_name("PATH")->required();
    fsGet->add_option("--out", o.outPath, "the file to write")->type_name("FILE")->required();
    auto* fsRm = fs->add_subcommand(commandWord(Command::FsRemove), "delete a file on the phone");
    fsRm->add_option("PATH", o.fsPath, "the file on the phone")->type_name("PATH")->required();
    auto* fsStat = fs->add_subcommand(commandWord(Command::FsStat), "print a file's status record");
    fsStat->add_option("PATH", o.fsPath, "the file on the phone")->type_name("PATH")->required();
    auto* fsNand = fs->add_subcommand(
        commandWord(Command::FsNandDump),
        "read the whole NAND flash, page by page, into a file (131,203,072 bytes)");
    fsNand->add_option("--out", o.outPath, "the file to write")->type_name("FILE")->required();
    fsNand
        ->add_option("--pages", o.nandPages,
                     "how many 2048-byte pages the NAND holds; default 64064")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    const CopySubcommands copy = addCopySubcommands(app, *fs, o);

    auto* doctor = app.add_subcommand(
        commandWord(Command::Doctor),
        "tell why a port will or will not open: the device a COM name stands for, its owner and "
        "mode, whether you may open it (and the command that fixes it), which process holds "
        "it, the USB adapter behind it, services that take such adapters; no phone needed");
    doctor
        ->add_option("--port", o.portList,
                     "the port to look at; default: COM1..COM20, and the exit status speaks "
                     "for the stored port")
        ->type_name("COMn|PATH");

    auto* ports = addPortsCommand(app);
    // The exit table is the top level's; each command points to it and shows itself in use.
    setCommandFooters(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != 0) {
            if (const auto complaint = unknownCommandComplaint(app)) {
                err << *complaint << "\nRun with --help for more information.\n";
                return {std::nullopt, EXIT_USAGE};
            }
        }
        const int code = app.exit(e, out, err);
        return {std::nullopt, code == 0 ? EXIT_OK : EXIT_USAGE};
    }
    o.sim = app.count("--sim") > 0;
    if (identify->parsed())
        o.command = Command::Identify;
    else if (download->parsed())
        o.command = Command::Download;
    else if (erase->parsed())
        o.command = Command::Erase;
    else if (dump->parsed())
        o.command = Command::Dump;
    else if (format->parsed())
        o.command = Command::Format;
    else if (status->parsed())
        o.command = Command::Status;
    else if (fsLs->parsed())
        o.command = Command::FsList;
    else if (fsGet->parsed())
        o.command = Command::FsGet;
    else if (fsRm->parsed())
        o.command = Command::FsRemove;
    else if (fsStat->parsed())
        o.command = Command::FsStat;
    else if (fsNand->parsed())
        o.command = Command::FsNandDump;
    else if (verify->parsed())
        o.command = Command::Verify;
    else if (const auto command = copy.parsed())
        o.command = *command;
    else if (doctor->parsed())
        o.command = Command::Doctor;
    else if (ports->parsed())
        o.command = Command::Ports;
    else
        o.command = Command::Crc;

    if (o.command == Command::Download && o.binPath.empty() && o.qixPath.empty()) {
        err << "download: give --bin FILE, --qix FILE or both\nRun with --help for more "
               "information.\n";
        return {std::nullopt, EXIT_USAGE};
    }
    if (const std::string problem = finishMultiPortOptions(o); !problem.empty()) {
        err << problem << "\nRun with --help for more information.\n";
        return {std::nullopt, EXIT_USAGE};
    }
    if (const std::string problem = checkVerifyUsage(o); !problem.empty()) {
        err << problem << "\nRun with --help for more information.\n";
        return {std::nullopt, EXIT_USAGE};
    }
    return {o, EXIT_OK};
}

}  // namespace zrk::cli

#include "cli/CopyCommandLine.h"

#include <CLI/CLI.hpp>

namespace zrk::cli {

namespace {

void addImageTexts(CLI::App& command, Options& o) {
    command
        .add_option("--version", o.qixVersion,
                    "the file-system version, at most 16 bytes, padded with blanks; default: "
                    "the folder's name")
        ->type_name("TEXT");
    command
        .add_option("--release", o.qixRelease,
                    "the release version, at most 12 bytes, padded with blanks; default: none")
        ->type_name("TEXT");
}

}  // namespace

std::optional<Command> CopySubcommands::parsed() const {
    if (create && create->parsed())
        return Command::QixCreate;
    if (list && list->parsed())
        return Command::QixList;
    if (extract && extract->parsed())
        return Command::QixExtract;
    if (pull && pull->parsed())
        return Command::FsPull;
    if (backup && backup->parsed())
        return Command::FsBackup;
    return std::nullopt;
}

CopySubcommands addCopySubcommands(CLI::App& app, CLI::App& fs, Options& o) {
    CopySubcommands c;
    auto* qix = app.add_subcommand(
        "qix",
        "make, check and unpack file-system images (.qix with its .cfg beside it); no phone "
        "needed. Names on the PC are UTF-8, names in the .cfg are in --codepage's code page");
    qix->require_subcommand(1);

    c.create = qix->add_subcommand(
        commandWord(Command::QixCreate),
        "make FILE.qix and FILE.cfg from a folder: its folders, then its files, each sorted by "
        "path, so the same folder always gives the same two files. Refused, naming the path: a "
        "name the code page cannot hold, a folder path over 61 or a file path over 499 bytes "
        "in UTF-8, a symbolic link or special file, files over 4 GB in all");
    c.create->add_option("DIR", o.folder, "the folder to pack; it becomes the phone's root")
        ->type_name("DIR")
        ->required();
    c.create->add_option("--out", o.outPath, "the image to write; the .cfg goes beside it")
        ->type_name("FILE.qix")
        ->required();
    addImageTexts(*c.create, o);

    c.list = qix->add_subcommand(
        commandWord(Command::QixList),
        "check FILE.qix and its .cfg as a download does and print the versions, the folders "
        "and each file with its size and place in the image; exit 0 only when a download "
        "would take the pair");
    c.list->add_option("FILE.qix", o.qixPath, "the image")->type_name("FILE.qix")->required();

    c.extract = qix->add_subcommand(
        commandWord(Command::QixExtract),
        "unpack FILE.qix into DIR (new or empty), checked as for a download; paths that would "
        "climb out of DIR are refused, each file appears only when complete");
    c.extract->add_option("FILE.qix", o.qixPath, "the image")->type_name("FILE.qix")->required();
    c.extract->add_option("DIR", o.folder, "the folder to write")->type_name("DIR")->required();

    c.pull = fs.add_subcommand(
        commandWord(Command::FsPull),
        "copy a phone directory and everything under it into DIR (what is under PATH lands "
        "in DIR), with one progress bar for the whole copy; a file that fails is reported and "
        "the copy goes on, and the exit status says so");
    c.pull->add_option("PATH", o.fsPath, "the directory on the phone, / for everything")
        ->type_name("PATH")
        ->required();
    c.pull->add_option("DIR", o.folder, "the folder on the PC; created if need be")
        ->type_name("DIR")
        ->required();

    c.backup = fs.add_subcommand(
        commandWord(Command::FsBackup),
        "copy the phone's whole file system into DIR (new or empty) and make DIR.qix and "
        "DIR.cfg from it, so that 'download --qix DIR.qix' puts the same tree back");
    c.backup->add_option("DIR", o.folder, "the folder on the PC")->type_name("DIR")->required();
    addImageTexts(*c.backup, o);
    return c;
}

}  // namespace zrk::cli

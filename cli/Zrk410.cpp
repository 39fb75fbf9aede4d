#include "cli/Zrk410.h"
#include "cli/OutputNames.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include "cli/CommandLine.h"
#include "cli/Doctor.h"
#include "cli/ExitCodes.h"
#include "cli/MultiPortOptions.h"
#include "cli/MultiPortRun.h"
#include "cli/PhoneSession.h"
#include "cli/PortsCommand.h"
#include "cli/QixCommands.h"
#include "cli/ReportedRun.h"
#include "cli/SectorList.h"
#include "cli/SimArguments.h"
#include "cli/StartAddress.h"
#include "cli/StoredSettings.h"
#include "cli/TerminalEncoding.h"
#include "cli/TypedPhonePath.h"
#include "engine/Checksums.h"
#include "engine/LineSpeeds.h"
#include "engine/OpenFile.h"
#include "engine/SafeText.h"
#include "engine/SectorMap.h"
#include "engine/StartAddress.h"
#include "files/FileStatus.h"
#include "files/Terminal.h"
#include "filesystem/CodePage.h"
#include "filesystem/NotFirmware.h"
#include "filesystem/QixConfig.h"
#include "serial/PortMap.h"

namespace zrk::cli {

namespace {

constexpr std::uint64_t kFlashBytes = SectorMap::kFlashBytes;

int runCrc(const Options& o, TerminalOutput& output) {
    if (const auto status = fileStatus(o.crcPath); status && !status->regular()) {
        output.diagnostic(o.crcPath + " is not a regular file");
        return EXIT_PORT_OR_FILE;
    }
    const auto crc = fileCrc32(o.crcPath);
    if (!crc) {
        output.diagnostic("cannot read " + o.crcPath + ": " + std::strerror(errno));
        return EXIT_PORT_OR_FILE;
    }
    char text[64];
    std::snprintf(text, sizeof text, "0x%x  %" PRIu64 " bytes", crc->crc, crc->length);
    output.line(text);
    return EXIT_OK;
}

// A file the phone job will read: better refused now than after the phone is up.
// An empty firmware image would erase sector 0 and succeed; an empty .qix is the image of a
// file system whose files are all empty (or that has folders only), which is a sound download.
bool readable(const std::string& path, TerminalOutput& output, bool mayBeEmpty = false) {
    // Before the CRC reads it: /dev/zero or a FIFO would keep it reading (or waiting) for ever.
    const auto status = fileStatus(path);
    if (status && (!status->regular() || (status->size == 0 && !mayBeEmpty))) {
        output.diagnostic(path + (status->regular() ? " is empty" : " is not a regular file") +
                          "; nothing was sent");
        return false;
    }
    // Can it be read? One byte says so; the engine reads the rest for its checksum.
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        const bool ok = std::fgetc(file) != EOF || !std::ferror(file);
        std::fclose(file);
        if (ok)
            return true;
    }
    output.diagnostic("cannot read " + path + ": " + std::strerror(errno ? errno : EISDIR));
    return false;
}

bool writable(const std::string& path, TerminalOutput& output) {
    if (const auto status = fileStatus(path); status && status->directory()) {
        output.diagnostic("cannot write " + path + ": it is a folder; give the name of a file");
        return false;
    }
    std::string folder = ".";
    if (const auto slash = path.rfind('/'); slash != std::string::npos)
        folder = slash == 0 ? "/" : path.substr(0, slash);
    std::error_code why;
    const bool ok = pathExists(path) ? mayWrite(path, &why) : mayCreateIn(folder, &why);
    if (!ok)
        output.diagnostic("cannot write " + path + ": " + why.message());
    return ok;
}

// Formatting wipes every file on the phone: asked on a terminal, refused elsewhere.
bool confirmFormat(TerminalOutput& output) {
    if (!isTerminal(stdin)) {
        output.diagnostic("format erases every file on the phone; give --yes to confirm");
        return false;
    }
    std::fputs("Format the phone's NAND file system? Every file on it is lost. [y/N] ", stderr);
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "y" || answer == "Y" || answer == "yes") {
        return true;
    }
    output.diagnostic("format not confirmed; nothing was done");
    return false;
}

}  // namespace

int runZrk410(int argc, const char* const* argv, TerminalOutput& output) {
    std::ostringstream helpOut, helpErr;
    const ParseOutcome parsed = parseCommandLine(argc, argv, helpOut, helpErr);
    if (!parsed.options) {
        // CLI11 formats help and errors; print them through the same streams as everything.
        std::fputs(helpOut.str().c_str(), stdout);
        std::fputs(helpErr.str().c_str(), stderr);
        std::fflush(stdout);
        std::fflush(stderr);
        return parsed.exitCode;
    }
    Options o = *parsed.options;
    output.setQuiet(o.quiet);
    // The terminal reads our bytes in the locale's code page, whatever page names were
    // converted to: that page decides which bytes it would take for controls.
    if (const auto terminal = CodePage::open(terminalEncoding().codePage, nullptr))
        output.setEncoding(textEncodingOf(*terminal));
    if (const int refused = resolveAutoPorts(o, output))
        return refused;

    if (o.command == Command::Crc)
        return runCrc(o, output);
    if (isQixCommand(o.command))
        return runQixCommand(o, output);
    if (o.command == Command::Doctor)
        return runDoctor(o, output);
    if (o.command == Command::Ports)
        return runPorts(o, output);
    // A code page that does not exist here is refused before the phone is asked to power on.
    if (!o.codePage.empty()) {
        std::string error;
        if (!CodePage::open(o.codePage, &error)) {
            output.diagnostic("--codepage: " + error +
                              " (names such as CP1252, CP949, UTF-8; iconv -l lists them)");
            return EXIT_USAGE;
        }
    }
    if (o.command == Command::Format && !o.yes && !confirmFormat(output))
        return EXIT_USAGE;

    PhoneJob job;
    job.command = o.command;
    job.timeout = std::chrono::seconds(o.timeoutSeconds);
    job.tracePath = o.tracePath;
    job.sim = o.sim;
    job.quietSim = o.quiet;
    job.quiet = o.quiet;
    job.simArgs = splitSimOptions(o.simOptions);
    job.choices.codePage = o.codePage;
    job.choices.codePageControl = kCodePageOption;
    // The format question was answered above (or by --yes).
    job.answers.yes = o.command == Command::Format;

    // Everything the user typed is checked before the phone is asked to power on.
    if (o.command == Command::Erase || o.command == Command::Dump) {
        auto sectors = parseSectorList(o.sectors, SectorMap::kSectorCount);
        if (!sectors.ok()) {
            output.diagnostic("--sectors: " + sectors.error);
            return EXIT_USAGE;
        }
        job.answers.sectors = std::move(sectors.flags);
    }
    // verify takes its images and start address as download does.
    const bool imageCommand = o.command == Command::Download || o.command == Command::Verify;
    if (imageCommand && !o.qixPath.empty()) {
        job.choices.qixPath = o.qixPath;
        job.choices.cfgPath = configPathFor(o.qixPath);
        if (!readable(o.qixPath, output, true) || !readable(job.choices.cfgPath, output))
            return EXIT_PORT_OR_FILE;
        // The download refuses it too, but only once the phone is up.
        if (fileLength(job.choices.cfgPath).value_or(0) > kMaxConfigBytes) {
            output.diagnostic(configTooLargeText(job.choices.cfgPath));
            return EXIT_USAGE;
        }
        // The same for all else the download checks in the files (the pair, the code page,
        // the names, the tree): found before the phone is powered on.
        if (const int refused = refuseUnusableQixPair(o.qixPath, o.codePage, output))
            return refused;
        job.choices.downloadMode = DownloadMode::ModeQix;
        job.choices.powerOnAfterDownload = o.powerOn;
    }
    if (imageCommand && !o.binPath.empty()) {
        job.choices.downloadMode =
            o.qixPath.empty() ? DownloadMode::ModeBin : DownloadMode::ModeBinAndQix;
        job.choices.binPath = o.binPath;
        job.choices.powerOnAfterDownload = o.powerOn;
        if (!o.startAddress.empty()) {
            const auto check = checkStartAddress(o.startAddress);
            if (!check.address) {
                output.diagnostic("--start-addr: " + check.error);
                return EXIT_USAGE;
            }
            job.choices.useStartNorAddress = true;
            job.choices.startAddressText = o.startAddress;
        }
        if (!readable(o.binPath, output))
            return EXIT_PORT_OR_FILE;
        if (o.command == Command::Download && !o.force) {
            if (const auto what = notFirmwareImage(o.binPath)) {
                output.diagnostic(printableName(o.binPath) + " is " + *what +
                                  ", not a firmware image; nothing was sent. Give --force to "
                                  "write it into the NOR flash as it is.");
                return EXIT_USAGE;
            }
        }
        // The phone would take the image up to the end of the flash and refuse the rest.
        const std::uint32_t start =
            o.startAddress.empty() ? 0 : *checkStartAddress(o.startAddress).address - NOR_BASE;
        const std::uint64_t length = fileLength(o.binPath).value_or(0);
        if (start + length > kFlashBytes) {
            char where[16];
            std::snprintf(where, sizeof where, "%08X", NOR_BASE + start);
            output.diagnostic("the image (" + std::to_string(length) +
                              " bytes) does not fit the flash from " + where + " (" +
                              std::to_string(kFlashBytes - start) + " bytes left)");
            return EXIT_USAGE;
        }
    }
    job.choices.verifyAfterDownload = o.verify;
    if (isExplorerCommand(o.command)) {
        if (const std::string problem = typedPhonePathProblem(o.fsPath); !problem.empty()) {
            output.diagnostic(problem);
            return EXIT_USAGE;
        }
        job.fsPath = o.fsPath;
        job.nandPages = o.nandPages;
    }
    if (o.command == Command::FsPull || o.command == Command::FsBackup) {
        job.copy = {o.folder, o.qixVersion, o.qixRelease};
        // Several phones copy into folders of their own, checked where they are named.
        if (const int refused = runsSeveralPhones(o)
                                    ? EXIT_OK
                                    : checkCopyTarget(o.command, job.copy, o.codePage, output))
            return refused;
    }
    if (o.command == Command::Dump || o.command == Command::FsGet ||
        o.command == Command::FsNandDump) {
        job.answers.saveFile = o.outPath;
        if (!writable(o.outPath, output))
            return EXIT_PORT_OR_FILE;
    }

    const StoredSettings stored = readStoredSettings();
    for (const auto& [number, path] : stored.portDevices)
        job.ports.setDevice(number, path);
    job.choices.portIndex = stored.portIndex;
    job.choices.speedIndex = o.speed ? speedIndexOf(*o.speed).value_or(0) : stored.speedIndex;
    if (!o.port.empty() && o.sim) {
        output.diagnostic("--port and --sim exclude each other: --sim brings its own port");
        return EXIT_USAGE;
    }
    if (!o.reportPath.empty() && !writable(o.reportPath, output))
        return EXIT_PORT_OR_FILE;
    // Several phones judge their outputs once each port's names are known.
    if (!runsSeveralPhones(o)) {
        const std::string refusal = outputsRefusal(
            {{"--out", job.answers.saveFile},
             {"--trace", o.tracePath},
             {"--report", o.reportPath},
             {"--log", o.logPath}},
            imageInputs(job.choices.binPath, job.choices.qixPath, job.choices.cfgPath));
        if (!refusal.empty()) {
            output.diagnostic(refusal);
            return EXIT_USAGE;
        }
    }
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (runsSeveralPhones(o))
        return runSeveralPhones(o, job, arguments, output);
    if (!o.port.empty()) {
        if (const auto number = PortMap::parsePortName(o.port)) {
            job.choices.portIndex = *number - 1;
        } else if (o.port.find('/') != std::string::npos) {
            job.device = o.port;
        } else {
            output.diagnostic("--port: '" + o.port +
                              "' is neither COM1..COM20 nor a device path such as /dev/ttyUSB0");
            return EXIT_USAGE;
        }
    }
    if (!o.logPath.empty() && !output.openLogFile(o.logPath)) {
        output.diagnostic("cannot write the log file " + o.logPath + ": " + std::strerror(errno));
        return EXIT_PORT_OR_FILE;
    }
    int result = o.reportPath.empty() ? runPhoneJob(job, output)
                                      : runOnePhoneWithReport(o, job, arguments, output);
    if (!output.closeLogFile()) {
        output.diagnostic("the log file " + o.logPath + " could not be written completely");
        if (result == EXIT_OK)
            result = EXIT_PORT_OR_FILE;
    }
    if (const int error = output.outputError()) {
        output.diagnostic(std::string("the log could not be written to standard output: ") +
                          std::strerror(error));
        if (result == EXIT_OK)
            result = EXIT_PORT_OR_FILE;
    }
    return result;
}

}  // namespace zrk::cli

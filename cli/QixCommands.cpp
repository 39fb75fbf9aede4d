#include "cli/QixCommands.h"

#include <cinttypes>
#include <cstdio>

#include "cli/ExitCodes.h"
#include "cli/OutputNames.h"
#include "cli/TerminalOutput.h"
#include "engine/SafeText.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixExtract.h"
#include "filesystem/QixListing.h"
#include "filesystem/QixNameCheck.h"
#include "filesystem/QixTreeCheck.h"
#include "filesystem/QixWriter.h"
#include "serial/InterruptSource.h"

namespace zrk::cli {

namespace {

std::string withoutNul(const std::string& utf8) {
    return utf8.substr(0, utf8.find('\0'));
}

// A version field as it stands, so that a line end or a stray byte riding along shows.
template <class Bytes>
std::string quoted(const Bytes& bytes) {
    std::string text = "'";
    for (const std::uint8_t b : bytes) {
        char escaped[8];
        if (b == '\r')
            text += "\\r";
        else if (b == '\n')
            text += "\\n";
        else if (b == '\\' || b == '\'')
            text += std::string("\\") + static_cast<char>(b);
        else if (b >= 0x20 && b < 0x7F)
            text += static_cast<char>(b);
        else {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            text += escaped;
        }
    }
    return text + "'";
}

// The pair as a download would see it; false (after saying why) when it would refuse it.
bool reportRefusal(const QixListing& listing, TerminalOutput& output) {
    if (listing.ok())
        return false;
    // The download's own words, log line first, as it shows them.
    if (!listing.logText.empty())
        output.line(normaliseLineEnds(listing.logText));
    if (!listing.messageText.empty())
        output.line(listing.messageText);
    output.diagnostic("a download would refuse this image");
    return true;
}

int refusalExit(const QixListing& listing) {
    return listing.unreadable ? EXIT_PORT_OR_FILE : EXIT_USAGE;
}

int runCreate(const Options& o, const CodePage& codePage, TerminalOutput& output) {
    const std::string refusal =
        outputsRefusal({{"--out", o.outPath}, {"the .cfg beside --out", configPathFor(o.outPath)}},
                       {{"the folder packed", o.folder, true}});
    if (!refusal.empty()) {
        output.diagnostic("qix create: " + refusal);
        return EXIT_USAGE;
    }
    QixWriteRequest request;
    request.folder = o.folder;
    request.imagePath = o.outPath;
    request.version = o.qixVersion ? *o.qixVersion : defaultQixVersion(o.folder, codePage);
    request.release = o.qixRelease;
    // Ctrl-C, a kill or a closed terminal ends the packing between two chunks, so that the
    // half-made pair is removed rather than left behind by a process that died of the signal.
    const InterruptSource interrupts(true);
    request.stopRequested = [&interrupts] { return interrupts.interrupted(); };
    const QixWriteResult result = writeQixImage(request, codePage);
    if (result.interrupted) {
        output.diagnostic("qix create: " + result.error);
        return EXIT_INTERRUPTED;
    }
    if (!result.ok()) {
        output.diagnostic("qix create: " + result.error);
        return result.refused ? EXIT_USAGE : EXIT_PORT_OR_FILE;
    }
    output.line(o.outPath + " and " + configPathFor(o.outPath) + ": " +
                std::to_string(result.directories) + " folders, " + std::to_string(result.files) +
                " files, " + std::to_string(result.bytes) + " bytes");
    return EXIT_OK;
}

int runList(const Options& o, const CodePage& codePage, TerminalOutput& output) {
    const std::string cfgPath = configPathFor(o.qixPath);
    const QixListing listing = readQixListing(o.qixPath, cfgPath, codePage, kCodePageOption);
    if (listing.checked) {
        output.line("image    " + o.qixPath + " (" + std::to_string(listing.imageSize) + " bytes)");
        output.line("config   " + cfgPath);
        output.line("version  " + quoted(listing.version));
        output.line("release  " + (listing.releaseVersion ? quoted(*listing.releaseVersion)
                                                          : std::string("none")));
        output.line("folders  " + std::to_string(listing.directories.size()));
        for (const auto& d : listing.directories)
            output.line("  " + printableName(withoutNul(d.utf8Name)));
        output.line("files    " + std::to_string(listing.files.size()) + "  (offset, size, path)");
        for (const auto& f : listing.files) {
            char figures[48];
            std::snprintf(figures, sizeof figures, "  %10" PRIu64 " %10" PRIu32 "  ", f.offset,
                          f.entry.fileSize);
            output.line(figures + printableName(withoutNul(f.entry.utf8Name)));
        }
    }
    if (reportRefusal(listing, output))
        return refusalExit(listing);
    return EXIT_OK;
}

int runExtract(const Options& o, const CodePage& codePage, TerminalOutput& output) {
    const QixListing listing =
        readQixListing(o.qixPath, configPathFor(o.qixPath), codePage, kCodePageOption);
    if (reportRefusal(listing, output))
        return refusalExit(listing);
    const InterruptSource interrupts(true);
    const QixExtractResult result = extractQixImage(
        listing, o.qixPath, o.folder, [&interrupts] { return interrupts.interrupted(); });
    if (result.interrupted) {
        output.diagnostic("qix extract: " + result.error + " (" + o.folder + ")");
        return EXIT_INTERRUPTED;
    }
    if (!result.ok()) {
        output.diagnostic("qix extract: " + result.error);
        return result.refused ? EXIT_USAGE : EXIT_PORT_OR_FILE;
    }
    output.line(o.folder + ": " + std::to_string(result.directories) + " folders, " +
                std::to_string(result.files) + " files, " + std::to_string(result.bytes) +
                " bytes");
    return EXIT_OK;
}

}  // namespace

int refuseUnusableQixPair(const std::string& qixPath, const std::string& codePage,
                          TerminalOutput& output) {
    std::string error;
    const auto page = CodePage::open(codePage.empty() ? localeCodePageName() : codePage, &error);
    if (!page) {
        output.diagnostic(codePage.empty()
                              ? "the .cfg names would be read in the locale's code page, but " +
                                    error + " here; choose the one they were written in with " +
                                    kCodePageOption
                              : "--codepage: " + error);
        return EXIT_USAGE;
    }
    const std::string cfgPath = configPathFor(qixPath);
    QixCheckResult check = checkQixFiles(qixPath, cfgPath);
    if (!check.ok()) {
        // The download's own words, as it would show them once the phone is up.
        if (!check.logText.empty())
            output.line(normaliseLineEnds(check.logText));
        if (!check.messageText.empty())
            output.line(check.messageText);
        output.diagnostic(cfgPath + ": a download would refuse this pair; nothing was sent");
        return check.messageText.rfind("Fail to open ", 0) == 0 ? EXIT_PORT_OR_FILE : EXIT_USAGE;
    }
    if (const auto lines = checkQixLines(check.config->text())) {
        output.diagnostic(qixTreeRefusal(*lines, cfgPath) + "; nothing was sent");
        return EXIT_USAGE;
    }
    const QixNameCheck names = checkQixNames(*check.config, *page);
    if (names.ok()) {
        if (const auto tree = checkQixTree(*check.config, *page)) {
            output.diagnostic(qixTreeRefusal(*tree, cfgPath) + "; nothing was sent");
            return EXIT_USAGE;
        }
        return EXIT_OK;
    }
    std::string text =
        qixNameExplanation(names, cfgPath, page->name(), kCodePageOption, "nothing was sent");
    // A diagnostic line of its own: without the log's marks.
    if (text.rfind("** ", 0) == 0)
        text.erase(0, 3);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    output.diagnostic(text);
    return EXIT_USAGE;
}

int runQixCommand(const Options& o, TerminalOutput& output) {
    std::string error;
    const std::string name = o.codePage.empty() ? localeCodePageName() : o.codePage;
    auto codePage = CodePage::open(name, &error);
    if (!codePage) {
        output.diagnostic("--codepage: " + error +
                          " (names such as CP1252, CP949, UTF-8; iconv -l lists them)");
        return EXIT_USAGE;
    }
    switch (o.command) {
        case Command::QixCreate:
            return runCreate(o, *codePage, output);
        case Command::QixList:
            return runList(o, *codePage, output);
        case Command::QixExtract:
            return runExtract(o, *codePage, output);
        default:
            return EXIT_UNAVAILABLE;
    }
}

}  // namespace zrk::cli

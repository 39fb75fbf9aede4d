#include "sim/SimOptionsParse.h"

#include <CLI/CLI.hpp>
#include <cctype>

namespace zrk::sim {

namespace {
template <typename T>
void optionalNumber(CLI::App& app, const std::string& name, std::optional<T>& target,
                    const std::string& help) {
    app.add_option_function<T>(
           name, [&target](const T& v) { target = v; }, help)
        ->type_name("N");
}
}  // namespace

std::vector<std::uint8_t> parseHexBytes(const std::string& text) {
    std::vector<std::uint8_t> out;
    if (text.size() % 2 != 0)
        return {};
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
            return {};
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

void addSimOptions(CLI::App& app, SimOptions& o, ExecutableOptions& exe) {
    auto& f = o.faults;
    app.add_option("--link", exe.linkPath,
                   "Keep a symbolic link at PATH to the terminal (PATH must be free or a link an "
                   "earlier run left; nothing else there is replaced)")
        ->type_name("PATH");
    app.add_option("--runs", exe.runs,
                   "Exit after N host sessions have ended (a session ends when the host closes "
                   "the port after sending something, other than for the baud switch; 0: run "
                   "until a signal)")
        ->check(CLI::NonNegativeNumber)
        ->type_name("N");
    app.add_flag("--exit-with-parent", exe.exitWithParent,
                 "End (as on SIGTERM) when the process that started the simulator ends");
    app.add_option("--state-out", exe.stateOut,
                   "At exit, write the NOR flash (DIR/nor.bin) and the NAND tree (DIR/nand/)")
        ->type_name("DIR");
    app.add_option("--preload", o.preloadDir,
                   "Start with DIR/nor.bin in the NOR flash and DIR/nand/ as the NAND tree "
                   "(either may be missing)")
        ->type_name("DIR");
    app.add_option("--transcript", o.transcriptPath,
                   "Write every block in both directions with time stamps to FILE")
        ->type_name("FILE");
    app.add_option("--seed", o.seed,
                   "Seed of the boot ROM's challenge, the noise and the NAND pages")
        ->type_name("N");
    app.add_option("--flash-id", exe.flashIdHex,
                   "The 8 flash identification bytes in hex (default 00EC22FC00010000, the "
                   "supported part)")
        ->type_name("HEX");
    app.add_flag("--wrong-flash-id", exe.wrongFlashId,
                 "Fault: answer with the codes swapped (22FC00EC...), an unsupported part");
    app.add_option("--customer-id", exe.customerIdHex,
                   "The 4-byte customer identifier the boot ROM expects, in hex (default: the "
                   "one built into the program)")
        ->type_name("HEX");
    app.add_flag(
        "--lenient", [&o](std::int64_t) { o.strict = false; },
        "Do not record protocol violations (strict checking is the default)");
    app.add_option("--latency", exe.latencyMs, "Delay every reply by MS milliseconds")
        ->check(CLI::Range(0L, 60000L))
        ->type_name("MS");
    app.add_flag("--pace", o.pacing,
                 "Carry every byte at the line's real rate, 10 bits per byte at the current "
                 "speed, in both directions");
    app.add_option("--phones-in-a-row", o.phonesInARow,
                   "A production line's cable: each close after a session powers the next "
                   "phone, N in all; then nothing answers any more (default 0: no end)")
        ->check(CLI::NonNegativeNumber)
        ->type_name("N");
    app.add_option("--nand-pages", o.nandPages,
                   "Pages in the NAND full dump (default 64064, 2048 bytes each)")
        ->check(CLI::Range(1u, 64064u))
        ->type_name("N");
    app.add_flag("--wrong-speed-echo", f.wrongSpeedEcho,
                 "Fault: the pre-loader echoes another speed index after the baud switch");
    app.add_option("--noise", f.noiseBytes,
                   "Fault: N bytes of line noise before the first connect request of each "
                   "power-up")
        ->check(CLI::Range(0, 4096))
        ->type_name("N");
    optionalNumber(app, "--bad-sector-sum", f.badSectorSum,
                   "Fault: wrong checksum after programming NOR sector N (0 to 518)");
    optionalNumber(app, "--bad-erase-reply", f.badEraseReply,
                   "Fault: wrong reply to the erase of NOR sector N (0 to 518)");
    optionalNumber(app, "--bad-dump-block", f.badDumpBlock,
                   "Fault: wrong checksum on the NOR dump of 8 KB block N (offset / 8192)");
    app.add_flag("--refuse-mount", f.refuseMount, "Fault: refuse to mount the file system");
    optionalNumber(app, "--bad-file-block", f.badFileBlock,
                   "Fault: wrong checksum for the N-th file block written (counted from 0)");
    optionalNumber(app, "--bad-readout-block", f.badReadOutBlock,
                   "Fault: wrong checksum on the N-th block read out (counted from 0)");
    optionalNumber(app, "--bad-nand-page", f.badNandPage,
                   "Fault: wrong checksum on NAND dump page N (counted from 0)");
    app.add_flag("--list-error-before-first", f.listErrorBeforeFirst,
                 "Fault: every listing fails before its first entry (E6h, code, E7h)");
    app.add_flag("--list-error-after-first", f.listErrorAfterFirst,
                 "Fault: every listing fails after its first entry (E6h, code, E7h)");
    app.add_option_function<int>(
           "--list-error-code", [&f](int v) { f.listErrorCode = static_cast<std::uint8_t>(v); },
           "Error code of the listing faults (default 18 = 12h)")
        ->check(CLI::Range(0, 255))
        ->type_name("N");
    app.add_flag("--refuse-delete", f.refuseDelete, "Fault: refuse every delete");
    app.add_flag("--keep-deleted", f.keepDeleted,
                 "Fault: confirm every delete (EEh) but keep the file");
    app.add_flag("--refuse-readout", f.refuseReadOut, "Fault: refuse every file read-out");
    app.add_flag("--silent-empty-readout", f.silentEmptyReadOut,
                 "Fault: send nothing when a 0-byte file is read out (by default its empty "
                 "block, the sum 00h, is sent)");
    app.add_flag("--refuse-file-status", f.refuseFileStatus,
                 "Fault: refuse every file status query");
    app.add_flag("--refuse-nand-dump", f.refuseNandDump, "Fault: refuse the NAND full dump");
    app.add_flag("--format-error", f.formatError,
                 "Fault: format fails (F2h and an error report: function 3, error 102h)");
    app.add_flag("--fs-status-error", f.fsStatusError,
                 "Fault: status fails (F3h and an error report: function 1, error 10h)");
    optionalNumber(app, "--corrupt-nor", f.corruptNor,
                   "Fault: store the NOR byte at offset N (from the flash's start, decimal or "
                   "0x hex) with its bits flipped, while the sector sum and the image CRC still "
                   "match what was sent");
    app.add_option("--corrupt-nand", exe.corruptNand,
                   "Fault: store the byte at OFFSET of the file PATH with its bits flipped when "
                   "the file is written, while the block sums still match what was sent")
        ->type_name("PATH:OFFSET");
    app.add_option("--babble", f.babble,
                   "Fault: no phone but a device that talks without end and answers nothing: "
                   "nmea (a GPS receiver's sentences) or zeros (a line stuck at 00h)")
        ->check(CLI::IsMember({"nmea", "zeros"}))
        ->type_name("KIND");
    app.add_flag("--endless-listing", f.endlessListing,
                 "Fault: every listing goes on with made-up files and never ends");
    app.add_flag("--silent-list-end", f.silentListEnd,
                 "Fault: a listing's closing E7h is never sent");
    optionalNumber(app, "--silent-readout-block", f.silentReadOutBlock,
                   "Fault: the N-th block read out (counted from 0) is never sent");
    optionalNumber(app, "--silent-nand-page", f.silentNandPage,
                   "Fault: NAND dump page N (counted from 0) and all after it are never sent");
    app.add_option_function<std::string>(
           "--unmount-fault",
           [&f](const std::string& v) {
               f.unmountFault = v == "silent"  ? SimFaults::UnmountFault::Silent
                                : v == "wrong" ? SimFaults::UnmountFault::Wrong
                                               : SimFaults::UnmountFault::HangUp;
           },
           "Fault: the unmount (E4h) is answered with nothing (silent), with 22h (wrong), or "
           "by closing the line (hang-up)")
        ->check(CLI::IsMember({"silent", "wrong", "hang-up"}))
        ->type_name("KIND");
    app.add_flag("--unplug-after-row", f.unplugAfterRow,
                 "Fault: with --phones-in-a-row, the next open after the row finds the adapter "
                 "pulled out (the line closes)");
    optionalNumber(app, "--hang-up-after", f.hangUpAfter,
                   "Fault: close the line for good after receiving N bytes (the simulator then "
                   "exits)");
}

void finishSimOptions(SimOptions& o, const ExecutableOptions& exe) {
    if (!exe.flashIdHex.empty()) {
        const auto bytes = parseHexBytes(exe.flashIdHex);
        if (bytes.size() != o.flashId.size())
            throw CLI::ValidationError("--flash-id", "needs exactly 16 hex digits");
        std::copy(bytes.begin(), bytes.end(), o.flashId.begin());
    }
    if (exe.wrongFlashId)
        o.flashId = {0x22, 0xFC, 0x00, 0xEC, 0x00, 0x01, 0x00, 0x00};
    if (!exe.customerIdHex.empty()) {
        o.customerId = parseHexBytes(exe.customerIdHex);
        if (o.customerId.size() != 4)
            throw CLI::ValidationError("--customer-id", "needs exactly 8 hex digits");
    }
    o.latency = std::chrono::milliseconds(exe.latencyMs);
    if (!exe.corruptNand.empty()) {
        const auto colon = exe.corruptNand.rfind(':');
        std::size_t used = 0;
        unsigned long offset = 0;
        try {
            if (colon != std::string::npos && colon > 0)
                offset = std::stoul(exe.corruptNand.substr(colon + 1), &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (colon == std::string::npos || colon == 0 || used == 0 ||
            used != exe.corruptNand.size() - colon - 1 || offset > 0xFFFFFFFFul)
            throw CLI::ValidationError("--corrupt-nand", "needs PATH:OFFSET, such as /a.txt:10");
        o.faults.corruptNandPath = exe.corruptNand.substr(0, colon);
        o.faults.corruptNandOffset = static_cast<std::uint32_t>(offset);
    }
    if (o.faults.badSectorSum && (*o.faults.badSectorSum < 0 || *o.faults.badSectorSum > 518))
        throw CLI::ValidationError("--bad-sector-sum", "a sector index is 0 to 518");
    if (o.faults.badEraseReply && (*o.faults.badEraseReply < 0 || *o.faults.badEraseReply > 518))
        throw CLI::ValidationError("--bad-erase-reply", "a sector index is 0 to 518");
}

}  // namespace zrk::sim

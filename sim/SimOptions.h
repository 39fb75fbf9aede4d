#pragma once
// Everything that shapes one simulated phone: its identity, its line, the faults it shows and
// where its state comes from and goes. Each fault is reproducible: it is tied to a numbered
// sector, block or page, or to every occurrence, never to chance.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zrk::sim {

struct SimFaults {
    bool wrongSpeedEcho = false;
    int noiseBytes = 0;                // garbage on the line before each first connect request
    std::optional<int> badSectorSum;   // NOR sector index whose program sum is wrong
    std::optional<int> badEraseReply;  // NOR sector index whose erase reply is wrong
    std::optional<std::uint32_t> badDumpBlock;  // 8 KB NOR block index with a wrong checksum
    bool refuseMount = false;
    std::optional<std::uint32_t> badFileBlock;  // n-th file block written (from 0) gets a wrong sum
    std::optional<std::uint32_t> badReadOutBlock;  // n-th read-out block sent (from 0) is corrupt
    std::optional<std::uint32_t> badNandPage;      // NAND page index sent with a wrong checksum
    std::optional<std::uint32_t> silentNandPage;   // NAND dump page index that is never sent
    bool listErrorBeforeFirst = false;
    bool listErrorAfterFirst = false;
    std::uint8_t listErrorCode = 0x12;
    bool refuseDelete = false;
    bool keepDeleted = false;  // a delete is confirmed (EEh), but the file stays
    bool refuseReadOut = false;
    bool silentEmptyReadOut = false;  // send nothing for a 0-byte file, as the real phone does
    bool refuseFileStatus = false;
    bool refuseNandDump = false;
    bool formatError = false;                  // F2h and an error report instead of E1h
    bool fsStatusError = false;                // F3h and an error report instead of the record
    std::optional<std::uint64_t> hangUpAfter;  // close the master after this many bytes received
    // No phone at all but a device that talks without end and answers nothing: "nmea" (a GPS
    // receiver's sentences) or "zeros" (a line stuck at 00h); empty: a phone.
    std::string babble;
    bool endlessListing = false;  // every listing goes on with made-up files, never ending
    bool silentListEnd = false;   // a listing's closing E7h is never sent
    std::optional<std::uint32_t> silentReadOutBlock;  // n-th read-out block sent (from 0) never is
    // The reply to the unmount (E4h): withheld, wrong (22h), or the line closed instead.
    enum class UnmountFault { None, Silent, Wrong, HangUp };
    UnmountFault unmountFault = UnmountFault::None;
    // With phonesInARow: once the row is over, the next open finds the adapter pulled out.
    bool unplugAfterRow = false;
    // Silent corruption, which only a read-back finds: the phone stores a wrong byte (all bits
    // flipped) at this NOR offset, or at this offset of the file at nandPath, while its sums
    // and CRC checks still see what the host sent.
    std::optional<std::uint32_t> corruptNor;
    std::string corruptNandPath;  // empty: no NAND corruption
    std::uint32_t corruptNandOffset = 0;
};

struct SimOptions {
    std::uint32_t seed = 1;
    // The 8 identification bytes of the NOR flash; the default is the supported part.
    std::array<std::uint8_t, 8> flashId{0x00, 0xEC, 0x22, 0xFC, 0x00, 0x01, 0x00, 0x00};
    // What the boot ROM expects in the identification reply; empty = the program's built-in one.
    std::vector<std::uint8_t> customerId;
    SimFaults faults;
    std::chrono::milliseconds latency{0};  // added before every reply
    bool pacing = false;                   // 10 bits per byte at the line's speed, both ways
    // A production line's cable: every session's close powers a new phone, until this many
    // have been served; then the cable stays empty (no boot ROM offers a connection). 0: no end.
    int phonesInARow = 0;
    std::uint32_t nandPages = 64064;
    std::string preloadDir;
    std::string transcriptPath;
    bool strict = true;  // record every byte the protocol does not allow as a violation
};

}  // namespace zrk::sim

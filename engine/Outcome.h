#pragma once
// How an operation ended, as one typed value. Front ends act on this, never on the texts the
// protocol logs or shows.
#include <cstdint>
#include <optional>
#include <string>

namespace zrk {

enum class Operation {
    BringUp,     // START up to the identified flash
    Firmware,    // DOWNLOAD, BIN
    FileSystem,  // DOWNLOAD, QIX
    FirmwareAndFileSystem,
    Erase,
    Dump,
    Format,
    Status,
    Explorer,          // one explorer exchange (listing, read-out, delete, status, NAND dump)
    FirmwareVerify,    // the NOR read back and compared with a firmware image, nothing written
    FileSystemVerify,  // the NAND files read back and compared with a .qix image
};

enum class OutcomeKind {
    Completed,  // the phone confirmed everything
    Failed,     // ended by a wrong reply or a local problem: see the cause
    Abandoned,  // left idle with the controls locked until Stop
    Stopped,    // Stop (or a closing window) ended it
    LinkLost,   // the device went away
};

enum class FailureCause {
    None,
    PhoneReply,  // the phone said no or replied wrongly
    File,        // a file could not be read or written
    Port,        // the port could not be opened or set up
    Refused,     // nothing was sent: not ready, nothing chosen, the user said no
    Verify,      // every exchange went right, but what the phone holds differs from the image
    NotOnPhone,  // the phone has no file or folder of the name asked for
};

// What went wrong and where: the exchange by its name and protocol state and, for a wrong
// reply, what the phone sent in place of what was expected. A front end explains a failure from
// this, never from the log.
struct Failure {
    std::string exchange;  // "send the image length"; empty before any exchange began
    std::int32_t state = 0;
    std::optional<std::uint8_t> expected;
    std::optional<std::uint8_t> got;
    FailureCause cause = FailureCause::None;
    std::string detail;  // the failure's own words, for a closing complaint
};

struct OperationOutcome {
    Operation operation = Operation::BringUp;
    OutcomeKind kind = OutcomeKind::Completed;
    FailureCause cause = FailureCause::None;
    std::uint64_t bytes = 0;  // moved by the operation (for erase: the bytes erased)
    std::int64_t elapsedSeconds = 0;
    std::string detail;  // the failure's own words, for a closing complaint
    // Where it failed, when it did (cause and detail are repeated there).
    Failure failure;

    bool completed() const { return kind == OutcomeKind::Completed; }
};

const char* operationName(Operation operation);

// Where a wrong reply came, in words: ` in "write a sector" (expected 0x3C, got 0x00)`, or as
// much of it as the failure knows; empty when it knows nothing.
std::string whereTheReplyWasWrong(const Failure& failure);

}  // namespace zrk

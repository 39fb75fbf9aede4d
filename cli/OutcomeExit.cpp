#include "cli/OutcomeExit.h"

#include <string>

#include "cli/ExitCodes.h"
#include "cli/TerminalOutput.h"
#include "engine/SafeText.h"

namespace zrk::cli {

namespace {

// The failure's own words, then where it happened: "(Fail to download sector!) in "write a
// sector" (expected 0x3C, got 0x00)".
std::string wrongReplyDetails(const OperationOutcome& outcome) {
    const std::string words =
        outcome.detail.empty()
            ? std::string()
            : " (" + withoutControlCharacters(trimmedWords(outcome.detail)) + ")";
    return words + whereTheReplyWasWrong(outcome.failure);
}

}  // namespace

int exitFor(const OperationOutcome& outcome, TerminalOutput& output) {
    const std::string what = operationName(outcome.operation);
    switch (outcome.kind) {
        case OutcomeKind::Completed:
            return EXIT_OK;
        case OutcomeKind::LinkLost:
            output.diagnostic("the connection to the phone was lost (" + outcome.detail + ")");
            return EXIT_PORT_OR_FILE;
        case OutcomeKind::Stopped:
            output.diagnostic(what + " was stopped");
            return EXIT_PHONE_FAILED;
        case OutcomeKind::Failed:
        case OutcomeKind::Abandoned:
            break;
    }
    switch (outcome.cause) {
        case FailureCause::File:
        case FailureCause::Port:
            output.diagnostic(what + " failed: " + outcome.detail);
            return EXIT_PORT_OR_FILE;
        case FailureCause::Refused:
            output.diagnostic(what + " was refused: " + outcome.detail);
            return EXIT_USAGE;
        case FailureCause::Verify:
            output.diagnostic(what + " failed: the phone does not hold the image (" +
                              outcome.detail + ")");
            return EXIT_PHONE_FAILED;
        case FailureCause::NotOnPhone:
            output.diagnostic(outcome.detail);
            return EXIT_NOT_ON_PHONE;
        case FailureCause::None:
        case FailureCause::PhoneReply:
            break;
    }
    output.diagnostic(what + " failed: the phone replied wrongly" + wrongReplyDetails(outcome));
    return EXIT_PHONE_FAILED;
}

}  // namespace zrk::cli

#include "station/FailureWords.h"

#include "engine/SafeText.h"

namespace zrk::station {

namespace {
std::string where(const Failure& failure) {
    return failure.exchange.empty() ? std::string() : " in \"" + failure.exchange + "\"";
}
// A tile has one line: the detail's line breaks become spaces, its other controls visible.
std::string own(const std::string& detail) {
    std::string flat;
    for (const char c : trimmedWords(detail)) {
        const bool space = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (!space)
            flat += c;
        else if (!flat.empty() && flat.back() != ' ')
            flat += ' ';
    }
    return flat.empty() ? std::string() : ": " + printableName(flat);
}
}  // namespace

std::string failureWords(const OperationOutcome& outcome) {
    const Failure& failure = outcome.failure;
    switch (outcome.kind) {
        case OutcomeKind::Completed:
            return {};
        case OutcomeKind::LinkLost:
            return "cable pulled or port gone" + own(outcome.detail);
        case OutcomeKind::Stopped:
            return "stopped" + where(failure);
        case OutcomeKind::Failed:
        case OutcomeKind::Abandoned:
            break;
    }
    switch (outcome.cause) {
        case FailureCause::PhoneReply:
            return "wrong reply" + whereTheReplyWasWrong(failure);
        case FailureCause::Verify:
            return "verify failed: the phone does not hold the image" + own(outcome.detail);
        case FailureCause::File:
            return "file problem" + own(outcome.detail);
        case FailureCause::Port:
            return "port problem" + own(outcome.detail);
        case FailureCause::Refused:
            return "refused" + own(outcome.detail);
        case FailureCause::NotOnPhone:
            return printableName(outcome.detail);
        case FailureCause::None:
            break;
    }
    return "failed" + where(failure) + own(outcome.detail);
}

std::string silenceWords(const std::string& exchange) {
    return exchange.empty() ? std::string("the phone fell silent")
                            : "the phone fell silent in \"" + exchange + "\"";
}

const char* resultKindWords(ResultKind kind) {
    switch (kind) {
        case ResultKind::Passed:
            return "passed";
        case ResultKind::Failed:
            return "failed";
        case ResultKind::TimedOut:
            return "timed out";
        case ResultKind::Interrupted:
            return "interrupted";
        case ResultKind::PortOrFile:
            return "port or file problem";
        case ResultKind::Refused:
            return "refused";
        case ResultKind::Unavailable:
            break;
    }
    return "unavailable";
}

std::string resultWords(const OperationOutcome& o) {
    if (o.kind == OutcomeKind::LinkLost || o.cause == FailureCause::Port ||
        o.cause == FailureCause::File)
        return resultKindWords(ResultKind::PortOrFile);
    if (o.cause == FailureCause::Refused)
        return resultKindWords(ResultKind::Refused);
    if (o.kind == OutcomeKind::Stopped)
        return resultKindWords(ResultKind::Interrupted);
    return resultKindWords(ResultKind::Failed);
}

std::string noAnswerWords(std::chrono::milliseconds silence) {
    return "no phone answered within " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(silence).count()) + " s";
}

}  // namespace zrk::station

#include "cli/ExitRanking.h"

#include "cli/ExitCodes.h"
#include "station/FailureWords.h"

namespace zrk::cli {

int moreSerious(int a, int b) {
    auto rank = [](int code) {
        switch (code) {
            case EXIT_OK:
                return 0;
            case EXIT_TIMEOUT:
                return 1;
            case EXIT_PHONE_FAILED:
                return 2;
            case EXIT_NOT_ON_PHONE:
                return 3;
            case EXIT_USAGE:
                return 4;
            case EXIT_PORT_OR_FILE:
                return 5;
            case EXIT_INTERRUPTED:
                return 7;
            default:
                return 6;  // EXIT_UNAVAILABLE and anything unforeseen
        }
    };
    return rank(b) > rank(a) ? b : a;
}

std::string phoneResultFor(int exitCode) {
    using station::ResultKind;
    switch (exitCode) {
        case EXIT_OK:
            return station::resultKindWords(ResultKind::Passed);
        case EXIT_PHONE_FAILED:
            return station::resultKindWords(ResultKind::Failed);
        case EXIT_TIMEOUT:
            return station::resultKindWords(ResultKind::TimedOut);
        case EXIT_INTERRUPTED:
            return station::resultKindWords(ResultKind::Interrupted);
        case EXIT_PORT_OR_FILE:
            return station::resultKindWords(ResultKind::PortOrFile);
        case EXIT_USAGE:
            return station::resultKindWords(ResultKind::Refused);
        default:
            return station::resultKindWords(ResultKind::Unavailable);
    }
}

station::PhoneEnding phoneEnding(int exitCode, const std::string& reason) {
    return {exitCode == EXIT_OK, phoneResultFor(exitCode), reason, exitCode};
}

}  // namespace zrk::cli

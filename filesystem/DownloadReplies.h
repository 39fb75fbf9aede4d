#pragma once
// How the file-system download judges the phone's answers: a sum that must be the one expected,
// or an echo or status byte that must be the one wanted. A wrong one abandons the download, its
// words logged and carried as the failure's detail.
#include <cstdint>
#include <string>

#include "engine/PhaseContext.h"

namespace zrk {

inline bool sumAccepted(PhaseContext& context, std::uint8_t got, const std::string& failText) {
    return context.replyMatches(got, failText, PhaseContext::Ending::Abandon, failText);
}

inline bool answerIs(PhaseContext& context, std::uint8_t got, std::uint8_t wanted,
                     const std::string& failText) {
    if (got == wanted)
        return true;
    context.wrongReply(got, wanted, failText, PhaseContext::Ending::Abandon, failText);
    return false;
}

}  // namespace zrk

#include "engine/FrameTurns.h"

namespace zrk {

std::optional<FrameTurn> FrameTurns::stageChanged(Stage stage) {
    switch (stage) {
        case Stage::WaitingForPhone:
        case Stage::Working:
        case Stage::Verifying:
            break;
        default:
            // An operation of two parts rests idle between them; only its outcome ends it.
            return std::nullopt;
    }
    if (m_Held)
        return std::nullopt;
    m_Held = true;
    return stage == Stage::WaitingForPhone ? FrameTurn::PortOpened : FrameTurn::Busy;
}

std::optional<FrameTurn> FrameTurns::operationEnded(const OperationOutcome& outcome) {
    // A refusal ends an operation that never held the phone, and the outcome of one that Stop
    // cut short follows the link's end: neither changes anything.
    if (!m_Held)
        return std::nullopt;
    m_Held = false;
    // An abandoned operation leaves the phone in a state only Stop gets out of.
    if (outcome.kind == OutcomeKind::Abandoned)
        return std::nullopt;
    return FrameTurn::Freed;
}

FrameTurn FrameTurns::linkClosed() {
    m_Held = false;
    return FrameTurn::Closed;
}

}  // namespace zrk

#include "engine/OperationTracker.h"

#include <utility>

#include "engine/Clock.h"
#include "engine/DownloaderView.h"

namespace zrk {

void OperationTracker::track(Operation operation) {
    m_Tracked = operation;
    m_Verdict.reset();
    m_TrackedSince = m_Clock.nowSeconds();
    m_Bytes = 0;
}

void OperationTracker::completed(std::uint64_t bytes) {
    m_Bytes = bytes;
    if (m_Tracked)
        m_Verdict = Verdict{OutcomeKind::Completed, Failure{}};
}

void OperationTracker::judge(OutcomeKind kind, Failure failure) {
    if (m_Tracked)
        m_Verdict = Verdict{kind, std::move(failure)};
}

void OperationTracker::abandoned(Failure failure) {
    if (m_Tracked && !m_Verdict)
        m_Verdict = Verdict{OutcomeKind::Abandoned, std::move(failure)};
}

void OperationTracker::end(OutcomeKind fallback, Failure fallbackFailure) {
    if (!m_Tracked)
        return;
    OperationOutcome outcome;
    outcome.operation = *m_Tracked;
    if (m_Verdict) {
        outcome.kind = m_Verdict->kind;
        outcome.failure = std::move(m_Verdict->failure);
    } else {
        outcome.kind = fallback;
        outcome.failure = std::move(fallbackFailure);
    }
    if (outcome.kind == OutcomeKind::Completed || outcome.kind == OutcomeKind::Stopped) {
        // Neither failed anywhere: keep the cause and words a stop was given, nothing more.
        outcome.failure.exchange.clear();
        outcome.failure.state = 0;
    }
    outcome.cause = outcome.failure.cause;
    outcome.detail = outcome.failure.detail;
    outcome.bytes = m_Bytes;
    outcome.elapsedSeconds = m_Clock.nowSeconds() - m_TrackedSince;
    m_Tracked.reset();
    m_Verdict.reset();
    m_View.operationEnded(outcome);
}

}  // namespace zrk

#pragma once
// The outcome of the operation under way: tracked from its button (or START) to its end, it
// holds the verdict its steps gave (completed, failed with where and why, abandoned, the link
// lost) and the bytes it moved, and at its end tells the view the one typed outcome. Where a
// failure happened is the context's to say: the tracker is handed the failure whole.
#include <cstdint>
#include <optional>

#include "engine/Outcome.h"

namespace zrk {

class Clock;
class DownloaderView;

class OperationTracker {
  public:
    OperationTracker(DownloaderView& view, Clock& clock) : m_View(view), m_Clock(clock) {}

    // From now on the outcome is this operation's, with no verdict and no bytes yet.
    void track(Operation operation);
    bool tracking() const { return m_Tracked.has_value(); }
    // The operation tracked; none between operations.
    const std::optional<Operation>& tracked() const { return m_Tracked; }
    // A step said how the operation went: it has nothing more to say at its end.
    bool judged() const { return m_Verdict.has_value(); }

    void countBytes(std::uint64_t bytes) { m_Bytes += bytes; }
    void completed(std::uint64_t bytes);
    // A verdict of this kind, over any given before; nothing while no operation is tracked.
    void judge(OutcomeKind kind, Failure failure);
    // Abandoned, unless a step already said how it went.
    void abandoned(Failure failure);

    // The operation is over: the view is told the verdict, or else the fallback, and nothing is
    // tracked any more. Nothing happens while nothing is tracked.
    void end(OutcomeKind fallback, Failure fallbackFailure);

  private:
    struct Verdict {
        OutcomeKind kind;
        Failure failure;
    };

    DownloaderView& m_View;
    Clock& m_Clock;
    std::optional<Operation> m_Tracked;
    std::optional<Verdict> m_Verdict;
    std::int64_t m_TrackedSince = 0;
    std::uint64_t m_Bytes = 0;
};

}  // namespace zrk

#pragma once
// The protocol thread's event loop for front ends without Qt (the command line, end-to-end
// tests, benchmarks): the event sink of the links attached to it. It waits on the links'
// devices itself where they let it (no watcher thread, so a reply wakes only this thread),
// other posts wake it through its waiter, the baud-switch timer is a deadline, and every
// handler runs on the thread that calls runUntil, as the engine requires.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serial/LinkEvents.h"
#include "serial/Waiter.h"

namespace zrk {

class EngineLoop : public LinkEventSink {
  public:
    using Clock = std::chrono::steady_clock;

    EngineLoop();
    ~EngineLoop() override;
    EngineLoop(const EngineLoop&) = delete;
    EngineLoop& operator=(const EngineLoop&) = delete;

    // Makes this loop the link's event sink and reader (while the link is closed); the link's
    // news then reach the handler on top of its owner stack from runUntil. The link must
    // outlive the loop (or be detached first): the loop's end detaches it.
    void attach(SerialLink& link);
    void detach(SerialLink& link);

    // Any thread (a watcher, or this loop reading a device): record the news and wake the
    // loop. Never blocks.
    void postLinkData(SerialLink& link) override;
    void postLinkLost(SerialLink& link, std::uint64_t session, const std::string& reason) override;
    // The link closes on this loop's thread, as every link the loop reads for does.
    void deviceClosing(SerialLink& link, Waitable device) override;

    std::function<void()> onTimer;

    void startTimer(int milliseconds);
    void stopTimer() { m_TimerDue.reset(); }
    bool timerRunning() const { return m_TimerDue.has_value(); }

    enum class RunResult { Done, Silent, Interrupted };
    // Dispatches until done() holds (checked before waiting and after every dispatch), until
    // no link's handler has accepted a reply for silenceLimit (zero: wait for ever), or until
    // interrupted() holds after a wake-up (a signal handler can call wake()). The limit runs
    // from the call and from every reply accepted since (SerialLink::noteReplyAccepted), never
    // from bytes that no exchange took: a babbling device is as good as a silent one.
    // SilenceFrom::LastReply goes on counting from the last reply an earlier wait saw accepted:
    // a wait that follows one that ended silent then ends at once, so that the two together
    // last one silence limit, not two.
    enum class SilenceFrom { Now, LastReply };
    RunResult runUntil(const std::function<bool()>& done, std::chrono::milliseconds silenceLimit,
                       const std::function<bool()>& interrupted = {},
                       SilenceFrom from = SilenceFrom::Now);
    // Async-signal-safe.
    void wake();
    // When the last reply was accepted (or the current wait began); the silence limit runs
    // from here.
    Clock::time_point lastProgress() const { return m_LastProgress; }

  private:
    struct Attached {
        SerialLink* link;
        std::atomic<bool> dataPending{false};
        bool readsHere = false;  // the loop waits on and reads the link's device itself
        // The device in the loop's wait set, the link's session it belongs to and the tag its
        // events carry (0: none; a device the set refuses is always ready).
        Waitable watched;
        std::uint64_t watchedSession = 0;
        std::uint64_t watchTag = 0;
        bool alwaysReady = false;
        std::uint64_t repliesSeen = 0;  // the link's accepted replies at the last look
    };
    struct Loss {
        SerialLink* link;
        std::uint64_t session;
        std::string reason;
    };
    Attached* find(SerialLink& link);
    bool dispatchPending();
    // Moves the silence mark when a link's handler accepted a reply since the last look.
    void noteProgress();
    // Waits for a wake-up and on the devices of the links read here; reads the ready ones.
    // False when the wait itself failed.
    bool waitAndRead(int timeoutMs);
    // Brings the entry's device in the wait set up to date with what its link waits on now.
    void watch(Attached& entry, Waitable device);
    void unwatch(Attached& entry);
    void wakeFromElsewhere();

    Waiter m_Waiter;
    std::uint64_t m_LastTag = 0;                     // the waiter keeps tag 0 for its wake-up
    std::vector<std::unique_ptr<Attached>> m_Links;  // changed only while the watchers are off
    std::mutex m_Lock;                               // guards m_Losses
    std::vector<Loss> m_Losses;
    std::optional<Clock::time_point> m_TimerDue;
    Clock::time_point m_LastProgress = Clock::now();
    bool m_PostedHere = false;  // this thread posted since the last dispatch
};

}  // namespace zrk

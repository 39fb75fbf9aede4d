#include "engine/EngineLoop.h"

#include <algorithm>

#include "serial/SerialLink.h"

namespace zrk {

namespace {
// The loop running on this thread: its own posts need no wake-up, it looks again anyway.
thread_local const EngineLoop* t_RunningLoop = nullptr;
}  // namespace

EngineLoop::EngineLoop() = default;

EngineLoop::~EngineLoop() {
    for (auto& entry : m_Links)
        if (entry->link->eventSink() == this) {
            entry->link->setEventSink(nullptr);
            entry->link->setReadOnSinkThread(false);
        }
}

void EngineLoop::wake() {
    m_Waiter.wake();
}

void EngineLoop::wakeFromElsewhere() {
    if (t_RunningLoop != this)
        wake();
    else
        m_PostedHere = true;
}

void EngineLoop::attach(SerialLink& link) {
    Attached* entry = find(link);
    if (!entry) {
        m_Links.push_back(std::make_unique<Attached>());
        entry = m_Links.back().get();
        entry->link = &link;
    }
    link.setEventSink(this);
    entry->readsHere = link.setReadOnSinkThread(true);
}

void EngineLoop::detach(SerialLink& link) {
    if (link.eventSink() == this) {
        link.setEventSink(nullptr);
        link.setReadOnSinkThread(false);
    }
    if (Attached* entry = find(link))
        unwatch(*entry);
    std::erase_if(m_Links, [&](const auto& entry) { return entry->link == &link; });
}

EngineLoop::Attached* EngineLoop::find(SerialLink& link) {
    for (auto& entry : m_Links)
        if (entry->link == &link)
            return entry.get();
    return nullptr;
}

void EngineLoop::postLinkData(SerialLink& link) {
    if (Attached* entry = find(link))
        entry->dataPending.store(true, std::memory_order_release);
    wakeFromElsewhere();
}

void EngineLoop::postLinkLost(SerialLink& link, std::uint64_t session, const std::string& reason) {
    {
        std::lock_guard lock(m_Lock);
        m_Losses.push_back({&link, session, reason});
    }
    wakeFromElsewhere();
}

void EngineLoop::startTimer(int milliseconds) {
    m_TimerDue = Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool EngineLoop::dispatchPending() {
    m_PostedHere = false;  // what was posted so far is dispatched now
    bool any = false;
    std::vector<Loss> losses;
    {
        std::lock_guard lock(m_Lock);
        losses.swap(m_Losses);
    }
    for (auto& entry : m_Links) {
        if (entry->dataPending.exchange(false, std::memory_order_acq_rel)) {
            any = true;
            entry->link->deliverData();
        }
    }
    // After the data: the bytes that came before the hang-up are the phone's last words.
    for (const auto& loss : losses) {
        any = true;
        if (find(*loss.link))
            loss.link->deliverLinkLost(loss.session, loss.reason);
    }
    if (m_TimerDue && Clock::now() >= *m_TimerDue) {
        any = true;
        m_TimerDue.reset();
        if (onTimer)
            onTimer();
    }
    noteProgress();
    return any;
}

void EngineLoop::noteProgress() {
    for (auto& entry : m_Links) {
        const std::uint64_t accepted = entry->link->repliesAccepted();
        if (accepted != entry->repliesSeen) {
            entry->repliesSeen = accepted;
            m_LastProgress = Clock::now();
        }
    }
}

EngineLoop::RunResult EngineLoop::runUntil(const std::function<bool()>& done,
                                           std::chrono::milliseconds silenceLimit,
                                           const std::function<bool()>& interrupted,
                                           SilenceFrom from) {
    const EngineLoop* const outer = t_RunningLoop;
    t_RunningLoop = this;
    struct Restore {
        const EngineLoop* outer;
        ~Restore() { t_RunningLoop = outer; }
    } restore{outer};
    if (from == SilenceFrom::Now) {
        // What the handlers accepted before this wait is not news to it.
        for (auto& entry : m_Links)
            entry->repliesSeen = entry->link->repliesAccepted();
        m_LastProgress = Clock::now();
    } else {
        noteProgress();
    }
    for (;;) {
        dispatchPending();
        if (done && done())
            return RunResult::Done;
        if (interrupted && interrupted())
            return RunResult::Interrupted;

        const auto now = Clock::now();
        std::optional<Clock::time_point> wakeAt = m_TimerDue;
        if (silenceLimit.count() > 0) {
            const auto silentAt = m_LastProgress + silenceLimit;
            if (now >= silentAt)
                return RunResult::Silent;
            wakeAt = wakeAt ? std::min(*wakeAt, silentAt) : silentAt;
        }
        int timeout = -1;
        if (wakeAt) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - now).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, 60'000));
        }
        if (!waitAndRead(timeout))
            return RunResult::Interrupted;
    }
}

void EngineLoop::deviceClosing(SerialLink& link, Waitable device) {
    if (Attached* entry = find(link); entry && entry->watched == device)
        unwatch(*entry);
}

void EngineLoop::unwatch(Attached& entry) {
    // Only ever a device still open: a closing link says so first (deviceClosing), because a
    // closed device's number may already name another file, even one this loop watches.
    if (entry.watched.valid() && !entry.alwaysReady)
        m_Waiter.unwatch(entry.watched);
    entry.watched = {};
    entry.watchTag = 0;
    entry.alwaysReady = false;
}

void EngineLoop::watch(Attached& entry, Waitable device) {
    // A reopened port can get its old descriptor or handle back, so the session tells whether
    // the registration is still the device's; a registration left on an old device (kept open
    // by a duplicate) carries an old tag, and its events are ignored.
    const std::uint64_t session = entry.link->session();
    if (device == entry.watched && (!device.valid() || session == entry.watchedSession))
        return;
    unwatch(entry);
    if (!device.valid())
        return;
    entry.watched = device;
    entry.watchedSession = session;
    entry.watchTag = ++m_LastTag;
    if (!m_Waiter.watch(device, entry.watchTag))
        entry.alwaysReady = true;  // a regular file, which poll too would call ready at once
}

bool EngineLoop::waitAndRead(int timeoutMs) {
    // A backlogged queue empties only as the handlers take from it, which they do in the next
    // dispatch; until then its device is left unread, as a watcher would leave it.
    constexpr int kBacklogRetryMs = 5;
    // News a handler posted while it was being dispatched (a write that lost the link, say)
    // woke nobody: look at it at once.
    if (m_PostedHere)
        timeoutMs = 0;
    for (auto& entry : m_Links) {
        if (!entry->readsHere)
            continue;
        const SerialLink::InputWait input = entry->link->inputWait();
        if (input.backlogged)
            timeoutMs = timeoutMs < 0 ? kBacklogRetryMs : std::min(timeoutMs, kBacklogRetryMs);
        watch(*entry, input.backlogged ? Waitable() : input.device);
        if (entry->alwaysReady)
            timeoutMs = 0;
    }
    Waiter::Ready ready[8];
    const int n = m_Waiter.wait(ready, timeoutMs);
    if (n < 0)
        return false;
    // What was read goes to the link's handler here and now: a reply reaches its engine in the
    // same turn of the loop that read it.
    for (int i = 0; i < n; ++i) {
        for (auto& entry : m_Links)
            if (entry->watchTag == ready[i].tag) {
                if (entry->link->readInput(ready[i].events))
                    entry->link->deliverData();
                break;
            }
    }
    for (auto& entry : m_Links)
        if (entry->alwaysReady && entry->watched.valid() &&
            entry->link->readInput(WaitEvent::Readable))
            entry->link->deliverData();
    return true;
}

}  // namespace zrk

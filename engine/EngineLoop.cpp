#include "engine/EngineLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "serial/SerialLink.h"

namespace zrk {

namespace {
// The loop running on this thread: its own posts need no wake-up, it looks again anyway.
thread_local const EngineLoop* t_RunningLoop = nullptr;
}  // namespace

EngineLoop::EngineLoop() {
    m_WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_WakeFd < 0)
        throw std::runtime_error("cannot create the event loop's wake-up descriptor");
}

EngineLoop::~EngineLoop() {
    for (auto& entry : m_Links)
        if (entry->link->eventSink() == this) {
            entry->link->setEventSink(nullptr);
            entry->link->setReadOnSinkThread(false);
        }
    if (m_WakeFd >= 0)
        ::close(m_WakeFd);
}

void EngineLoop::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(m_WakeFd, &one, sizeof one);
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
            m_LastActivity = Clock::now();
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
    return any;
}

EngineLoop::RunResult EngineLoop::runUntil(const std::function<bool()>& done,
                                           std::chrono::milliseconds silenceLimit,
                                           const std::function<bool()>& interrupted) {
    const EngineLoop* const outer = t_RunningLoop;
    t_RunningLoop = this;
    struct Restore {
        const EngineLoop* outer;
        ~Restore() { t_RunningLoop = outer; }
    } restore{outer};
    m_LastActivity = Clock::now();
    for (;;) {
        dispatchPending();
        if (done && done())
            return RunResult::Done;
        if (interrupted && interrupted())
            return RunResult::Interrupted;

        const auto now = Clock::now();
        std::optional<Clock::time_point> wakeAt = m_TimerDue;
        if (silenceLimit.count() > 0) {
            const auto silentAt = m_LastActivity + silenceLimit;
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

bool EngineLoop::waitAndRead(int timeoutMs) {
    // A backlogged queue empties only as the handlers take from it, which they do in the next
    // dispatch; until then its device is left unread, as a watcher would leave it.
    constexpr int kBacklogRetryMs = 5;
    // News a handler posted while it was being dispatched (a write that lost the link, say)
    // woke nobody: look at it at once.
    if (m_PostedHere)
        timeoutMs = 0;
    std::vector<pollfd>& fds = m_PollFds;
    std::vector<Attached*>& readers = m_PollReaders;
    fds.assign(1, pollfd{m_WakeFd, POLLIN, 0});
    readers.clear();
    for (auto& entry : m_Links) {
        if (!entry->readsHere)
            continue;
        const SerialLink::InputWait input = entry->link->inputWait();
        if (input.backlogged)
            timeoutMs = timeoutMs < 0 ? kBacklogRetryMs : std::min(timeoutMs, kBacklogRetryMs);
        else if (input.descriptor >= 0) {
            fds.push_back(pollfd{input.descriptor, POLLIN, 0});
            readers.push_back(entry.get());
        }
    }
    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0)
        return errno == EINTR;
    if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] auto ignored = ::read(m_WakeFd, &count, sizeof count);
    }
    for (std::size_t i = 0; i < readers.size(); ++i)
        if (fds[i + 1].revents != 0)
            readers[i]->link->readInput(fds[i + 1].revents);
    return true;
}

}  // namespace zrk

#include "engine/EngineLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "serial/SerialLink.h"

namespace zrk {

EngineLoop::EngineLoop() {
    m_WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_WakeFd < 0)
        throw std::runtime_error("cannot create the event loop's wake-up descriptor");
}

EngineLoop::~EngineLoop() {
    for (auto& entry : m_Links)
        if (entry->link->eventSink() == this)
            entry->link->setEventSink(nullptr);
    if (m_WakeFd >= 0)
        ::close(m_WakeFd);
}

void EngineLoop::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(m_WakeFd, &one, sizeof one);
}

void EngineLoop::attach(SerialLink& link) {
    if (!find(link)) {
        auto entry = std::make_unique<Attached>();
        entry->link = &link;
        m_Links.push_back(std::move(entry));
    }
    link.setEventSink(this);
}

void EngineLoop::detach(SerialLink& link) {
    if (link.eventSink() == this)
        link.setEventSink(nullptr);
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
    wake();
}

void EngineLoop::postLinkLost(SerialLink& link, std::uint64_t session, const std::string& reason) {
    {
        std::lock_guard lock(m_Lock);
        m_Losses.push_back({&link, session, reason});
    }
    wake();
}

void EngineLoop::startTimer(int milliseconds) {
    m_TimerDue = Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool EngineLoop::dispatchPending() {
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
        pollfd p{m_WakeFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeout);
        if (ready > 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto ignored = ::read(m_WakeFd, &count, sizeof count);
        } else if (ready < 0 && errno != EINTR) {
            return RunResult::Interrupted;
        }
    }
}

}  // namespace zrk

#include "engine/EngineLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace zrk {

EngineLoop::EngineLoop() {
    m_WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_WakeFd < 0)
        throw std::runtime_error("cannot create the event loop's wake-up descriptor");
}

EngineLoop::~EngineLoop() {
    if (m_WakeFd >= 0)
        ::close(m_WakeFd);
}

void EngineLoop::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(m_WakeFd, &one, sizeof one);
}

void EngineLoop::postDataReceived(std::uint16_t) {
    m_DataPending.store(true, std::memory_order_release);
    wake();
}

void EngineLoop::postLinkLost(std::uint16_t, const std::string& reason) {
    {
        std::lock_guard lock(m_Lock);
        m_LostReasons.push_back(reason);
    }
    wake();
}

void EngineLoop::postMessage(const std::string& text) {
    {
        std::lock_guard lock(m_Lock);
        m_Messages.push_back(text);
    }
    wake();
}

void EngineLoop::startTimer(int milliseconds) {
    m_TimerDue = Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool EngineLoop::dispatchPending() {
    bool any = false;
    std::vector<std::string> messages, lost;
    {
        std::lock_guard lock(m_Lock);
        messages.swap(m_Messages);
        lost.swap(m_LostReasons);
    }
    for (const auto& text : messages) {
        any = true;
        if (onMessage)
            onMessage(text);
    }
    if (m_DataPending.exchange(false, std::memory_order_acq_rel)) {
        any = true;
        m_LastActivity = Clock::now();
        if (onData)
            onData();
    }
    // After the data: the bytes that came before the hang-up are the phone's last words.
    for (const auto& reason : lost) {
        any = true;
        if (onLinkLost)
            onLinkLost(reason);
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

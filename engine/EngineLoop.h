#pragma once
// The protocol thread's event loop for front ends without Qt (the command line, end-to-end
// tests): the watcher's posts wake it through an eventfd, the baud-switch timer is a deadline,
// and every handler runs on the thread that calls runUntil, as the engine requires.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serial/LinkOwner.h"

namespace zrk {

class EngineLoop : public LinkOwner {
  public:
    using Clock = std::chrono::steady_clock;

    EngineLoop();
    ~EngineLoop() override;
    EngineLoop(const EngineLoop&) = delete;
    EngineLoop& operator=(const EngineLoop&) = delete;

    // Watcher thread: record the news and wake the loop. Never blocks.
    void postDataReceived(std::uint16_t portNumber) override;
    void postLinkLost(std::uint16_t portNumber, const std::string& reason) override;
    void postMessage(const std::string& text) override;

    // Handlers, called on the loop's thread.
    std::function<void()> onData;
    std::function<void(const std::string&)> onLinkLost;
    std::function<void(const std::string&)> onMessage;
    std::function<void()> onTimer;

    void startTimer(int milliseconds);
    void stopTimer() { m_TimerDue.reset(); }
    bool timerRunning() const { return m_TimerDue.has_value(); }

    enum class RunResult { Done, Silent, Interrupted };
    // Dispatches until done() holds (checked before waiting and after every dispatch), until
    // the phone has sent nothing for silenceLimit (zero: wait for ever), or until interrupted()
    // holds after a wake-up (a signal handler can call wake()).
    RunResult runUntil(const std::function<bool()>& done, std::chrono::milliseconds silenceLimit,
                       const std::function<bool()>& interrupted = {});
    // Async-signal-safe.
    void wake();
    // Counts as the phone speaking (data received); the silence limit runs from here.
    Clock::time_point lastActivity() const { return m_LastActivity; }

  private:
    bool dispatchPending();

    int m_WakeFd = -1;
    std::atomic<bool> m_DataPending{false};
    std::mutex m_Lock;  // guards the two lists below
    std::vector<std::string> m_LostReasons;
    std::vector<std::string> m_Messages;
    std::optional<Clock::time_point> m_TimerDue;
    Clock::time_point m_LastActivity = Clock::now();
};

}  // namespace zrk

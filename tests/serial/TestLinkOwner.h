#pragma once
// A link owner that records the watcher's posts and lets a test wait for them.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "serial/LinkOwner.h"

namespace zrk::test {

class TestLinkOwner : public LinkOwner {
  public:
    void postDataReceived(std::uint16_t) override {
        std::lock_guard lock(m_Lock);
        ++dataPosts;
        m_Changed.notify_all();
    }
    void postLinkLost(std::uint16_t, const std::string& reason) override {
        std::lock_guard lock(m_Lock);
        lostReasons.push_back(reason);
        m_Changed.notify_all();
    }
    void postMessage(const std::string& text) override {
        std::lock_guard lock(m_Lock);
        messages.push_back(text);
        m_Changed.notify_all();
    }
    // Waits until pred() holds (checked under the lock) or the time is up.
    template <class Pred>
    bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_Lock);
        return m_Changed.wait_for(lock, limit, pred);
    }
    int posts() {
        std::lock_guard lock(m_Lock);
        return dataPosts;
    }

    int dataPosts = 0;
    std::vector<std::string> lostReasons;
    std::vector<std::string> messages;

  private:
    std::mutex m_Lock;
    std::condition_variable m_Changed;
};

}  // namespace zrk::test

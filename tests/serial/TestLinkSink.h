#pragma once
// A link event sink that records the watcher's posts and lets a test wait for them.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "serial/LinkEvents.h"

namespace zrk::test {

class TestLinkSink : public LinkEventSink {
  public:
    void postLinkData(SerialLink&) override {
        std::lock_guard lock(m_Lock);
        ++dataPosts;
        m_Changed.notify_all();
    }
    void postLinkLost(SerialLink&, std::uint64_t, const std::string& reason) override {
        std::lock_guard lock(m_Lock);
        lostReasons.push_back(reason);
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

  private:
    std::mutex m_Lock;
    std::condition_variable m_Changed;
};

}  // namespace zrk::test

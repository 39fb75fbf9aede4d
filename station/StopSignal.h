#pragma once
// Stop for one port or for many at once. Any thread raises it; every loop and link registered
// with it is woken and its stuck writes given up, so that no port goes on waiting on a dead line
// after the stop, and no port is touched after its registration has gone.
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace zrk {
class CommPort;
class EngineLoop;
}  // namespace zrk

namespace zrk::station {

class StopSignal {
  public:
    bool raised() const { return m_Raised.load(); }
    void raise();
    // Before the signal serves a new run; only while nothing is registered.
    void clear() { m_Raised = false; }

    // A port's loop and link, known for as long as this lives.
    class Registration {
      public:
        Registration(StopSignal& owner, EngineLoop& loop, CommPort& port);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

      private:
        StopSignal& m_Owner;
        EngineLoop& m_Loop;
    };

  private:
    std::atomic<bool> m_Raised{false};
    std::mutex m_Lock;
    std::vector<std::pair<EngineLoop*, CommPort*>> m_Links;
};

}  // namespace zrk::station

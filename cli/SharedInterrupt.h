#pragma once
// Ctrl-C for a run of several ports. The signal handler only writes a byte to a pipe; the main
// thread, woken by it, marks the run interrupted and ends every port's wait and stuck write,
// with no work done in the handler and no port touched after its job has gone.
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "serial/InterruptSource.h"

namespace zrk {
class CommPort;
class EngineLoop;
}  // namespace zrk

namespace zrk::cli {

class SharedInterrupt {
  public:
    bool interrupted() const { return m_Interrupted.load(); }
    // Any thread: every registered loop is woken and its port's writes cancelled.
    void interrupt();

    // A port's loop and link, known while the job serves its phone.
    class Registration {
      public:
        Registration(SharedInterrupt& owner, EngineLoop& loop, CommPort& port);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

      private:
        SharedInterrupt& m_Owner;
        EngineLoop& m_Loop;
    };

  private:
    std::atomic<bool> m_Interrupted{false};
    std::mutex m_Lock;
    std::vector<std::pair<EngineLoop*, CommPort*>> m_Links;
};

// Ctrl-C, a kill or a closed terminal for as long as this lives, heard by the main thread
// through waitable(); the previous handling comes back.
class InterruptSignals {
  public:
    InterruptSignals();

    // Readable once a request came (wait on it; drain() empties it).
    Waitable waitable() const { return m_Source.waitable(); }
    void drain() { m_Source.drain(); }

  private:
    InterruptSource m_Source;
};

}  // namespace zrk::cli

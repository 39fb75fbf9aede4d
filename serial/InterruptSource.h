#pragma once
// The requests to stop that come from outside (Ctrl-C, a kill, a closed terminal or a dropped
// session) as an event, for as long as this lives; the previous handling comes back at its end.
// At most one lives at a time: the process has one set of handlers.
#include <cstdint>

#include "serial/Waitable.h"

namespace zrk {

class InterruptSource {
  public:
    // Runs in the signal's context, so it may only do what a signal handler may: an atomic
    // store, a Waiter's or EngineLoop's wake(), CommPort::cancelWrites().
    using Hook = void (*)(void* context);

    // restartCalls: a blocking call the signal lands in (a write of the log to a pipe) goes on
    // instead of failing; waits end all the same. Without it a read of the terminal ends too.
    InterruptSource(bool restartCalls, Hook hook = nullptr, void* context = nullptr);
    ~InterruptSource();
    InterruptSource(const InterruptSource&) = delete;
    InterruptSource& operator=(const InterruptSource&) = delete;

    // A request came since this began.
    bool interrupted() const;
    // Readable once a request came (a Waiter can watch it); drain() empties it.
    Waitable waitable() const;
    void drain();

    // A write to a pipe whose reader has gone fails instead of ending the program.
    static void ignoreBrokenPipes();
};

}  // namespace zrk

#pragma once
// Who hears from a link, on which thread. The watcher thread only posts to the link's event
// sink (the window's event loop, the command line's loop for that port) and returns at once;
// the sink then, on the protocol thread, asks the link to deliver the news to the handler on
// top of the link's own owner stack. Nothing here is process-wide: two links in one process
// have two sinks and two stacks.
#include <cstdint>
#include <string>

#include "serial/Waitable.h"

namespace zrk {

class SerialLink;

// Protocol thread: whoever drives the protocol over this link right now (the main window's
// engine, or the explorer while it has taken the link over).
class LinkHandler {
  public:
    virtual ~LinkHandler() = default;
    // New bytes are in the link's receive queue.
    virtual void onLinkData() = 0;
    // The device went away (cable pulled, adapter unplugged) or a read failed for good. The
    // watcher has ended; the handler should perform Stop.
    virtual void onLinkLost(const std::string& reason) = 0;
};

// Watcher thread: must only queue the news for the protocol thread (no protocol work, no
// widgets, no blocking).
class LinkEventSink {
  public:
    virtual ~LinkEventSink() = default;
    virtual void postLinkData(SerialLink& link) = 0;
    // session: the link's open count when the watcher saw the loss, so that news from an
    // earlier opening (before the baud switch's reopen, say) cannot end the current one.
    virtual void postLinkLost(SerialLink& link, std::uint64_t session,
                              const std::string& reason) = 0;
    // Called on the closing thread just before the link lets go of the device a sink that reads
    // for it may be waiting on. Once closed, the device's number can belong to any file opened
    // next, another port of the same sink's included, so the sink forgets it now, not later.
    virtual void deviceClosing(SerialLink& /*link*/, Waitable /*device*/) {}
};

}  // namespace zrk

#pragma once
// Whoever currently drives the protocol: the main window, the explorer while it is open, or the
// command line. The watcher thread calls these from its own thread; an owner must only queue the
// news for its own thread and return at once (no protocol work, no widgets, no blocking).
#include <cstdint>
#include <string>

namespace zrk {

class LinkOwner {
  public:
    virtual ~LinkOwner() = default;
    // New bytes are in the port's queue.
    virtual void postDataReceived(std::uint16_t portNumber) = 0;
    // The device went away (cable pulled, adapter unplugged) or a read failed for good.
    // The watcher has ended; the owner should perform Stop.
    virtual void postLinkLost(std::uint16_t portNumber, const std::string& reason) = 0;
    // A message box asked for on the watcher thread; shown by the owner's thread.
    virtual void postMessage(const std::string& text) = 0;
};

// The program-wide current owner, swapped atomically. Returns the previous one.
LinkOwner* exchangeLinkOwner(LinkOwner* owner);
LinkOwner* currentLinkOwner();

// Makes an owner current for a scope and puts the previous one back (the explorer pattern).
class ScopedLinkOwner {
  public:
    explicit ScopedLinkOwner(LinkOwner* owner) : m_Previous(exchangeLinkOwner(owner)) {}
    ~ScopedLinkOwner() { exchangeLinkOwner(m_Previous); }
    ScopedLinkOwner(const ScopedLinkOwner&) = delete;
    ScopedLinkOwner& operator=(const ScopedLinkOwner&) = delete;

  private:
    LinkOwner* m_Previous;
};

}  // namespace zrk

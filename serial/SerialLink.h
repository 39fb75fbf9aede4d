#pragma once
// What the protocol engine needs of the serial link. CommPort provides it over the system's
// serial device; engine tests provide a fake that records what was written. The link also keeps
// its own subscribers: the event sink its watcher posts to, and the stack of handlers that the
// posted news reach.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "serial/LinkEvents.h"
#include "serial/ReceiveQueue.h"
#include "serial/Waitable.h"

namespace zrk {

enum class Parity { None = 0, Even = 2 };  // the wire codes the protocol uses

// Why the last open failed, so a front end can say more than "it failed". The words for the
// user are the engine's (describeOpenFailure).
struct OpenFailure {
    enum class Kind {
        None,
        NotFound,
        PermissionDenied,
        InUse,
        NotATerminal,
        LineRejected,
        ThreadFailed,
        Other
    };
    Kind kind = Kind::None;
    std::error_code error;  // the system's own reason, which carries its words (message())
    std::string device;     // the path that was tried
};

class SerialLink {
  public:
    virtual ~SerialLink() = default;
    virtual bool open(std::uint16_t portNumber, std::uint32_t baud) = 0;
    virtual bool setLineFormat(std::uint32_t baud, int dataBits, Parity parity, int stopBits) = 0;
    // Returns only when the bytes have left, or failed; the count that left, short on failure.
    virtual std::size_t write(const std::uint8_t* data, std::size_t length) = 0;
    virtual void close() = 0;
    virtual bool isConnected() const = 0;
    // Block mode: the watcher notifies only once frameBytes are queued (0: for every burst).
    virtual void setBlockMode(std::size_t frameBytes) = 0;
    virtual ReceiveQueue& receiveQueue() = 0;
    virtual OpenFailure lastOpenFailure() const = 0;

    // Reading on the sink's own thread instead of a watcher's, for a sink that waits on
    // devices anyway (the command line's loop): a reply then wakes one thread, not the
    // watcher and then the sink. Asked for while the link is closed, in force from the next
    // open; false where the link has nothing to offer a Waiter (it keeps posting as before).
    virtual bool setReadOnSinkThread(bool on) { return !on; }
    struct InputWait {
        Waitable device;          // what to wait on for input; none: nothing now
        bool backlogged = false;  // the receive queue is full: look again soon, not at once
    };
    virtual InputWait inputWait() const { return {}; }
    // The device was seen ready with these events: read what waits into the receive queue.
    // True when there is news for the handler (bytes, or all of a requested frame): the sink
    // that reads is the one that delivers it, at once, without posting to itself. A lost
    // device is still posted, after those bytes.
    virtual bool readInput(WaitEvents /*events*/) { return false; }

    // Where the watcher's posts go. Set while the link is closed.
    void setEventSink(LinkEventSink* sink) { m_Sink.store(sink, std::memory_order_release); }
    LinkEventSink* eventSink() const { return m_Sink.load(std::memory_order_acquire); }

    // The owner stack, used on the protocol thread only. The explorer pushes its handler when it
    // takes the link over and pops it when it gives it back.
    void pushHandler(LinkHandler& handler) { m_Handlers.push_back(&handler); }
    void popHandler(LinkHandler& handler);
    LinkHandler* handler() const { return m_Handlers.empty() ? nullptr : m_Handlers.back(); }

    // Called by the sink on the protocol thread.
    void deliverData();
    void deliverLinkLost(std::uint64_t session, const std::string& reason);

    // Counts the successful opens; posts carry it so that stale news can be told apart.
    std::uint64_t session() const { return m_Session.load(std::memory_order_acquire); }

    // The handler on top took a reply its exchange was waiting for (its state moved on, it
    // answered, a frame or an entry came whole). A loop's silence limit runs from the last of
    // these, not from the last byte: bytes that answer nothing (an NMEA receiver on the wrong
    // port, a line stuck at 00h) must time out like silence. Protocol thread only.
    void noteReplyAccepted() { ++m_RepliesAccepted; }
    std::uint64_t repliesAccepted() const { return m_RepliesAccepted; }

  protected:
    void beginSession() { m_Session.fetch_add(1, std::memory_order_acq_rel); }
    void postData() {
        if (auto* sink = eventSink())
            sink->postLinkData(*this);
    }
    void postLinkLost(const std::string& reason) {
        if (auto* sink = eventSink())
            sink->postLinkLost(*this, session(), reason);
    }

  private:
    std::atomic<LinkEventSink*> m_Sink{nullptr};
    std::atomic<std::uint64_t> m_Session{0};
    std::vector<LinkHandler*> m_Handlers;
    std::uint64_t m_RepliesAccepted = 0;
};

}  // namespace zrk

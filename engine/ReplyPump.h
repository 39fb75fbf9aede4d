#pragma once
// The one way a link's queued replies reach whoever owns the link: the bytes queued when the
// notification is taken are handed over one at a time, or, when the reader waits for a frame of
// N bytes (a dump block with its checksum), as one whole frame once all N are queued. What
// arrives during a drain waits for the watcher's next notification, so a long dump never starves
// a front end. A frame taken whole is always a reply its reader waited for; a single byte is one
// only when the reader says so, and only those restart a loop's silence limit.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zrk {

class SerialLink;

class ReplyReader {
  public:
    virtual ~ReplyReader() = default;
    // The frame the next delivery must be, in bytes; 0 for single bytes.
    virtual std::size_t frameWanted() const = 0;
    // Returns whether the byte answered something the reader was waiting for.
    virtual bool takeByte(std::uint8_t byte) = 0;
    // The reader's request is over when this is called; it asks again for the next frame.
    virtual void takeFrame(std::span<const std::uint8_t> frame) = 0;
    // False once the reader has given the link back (its closing reply was read): the rest of
    // the drain is the next owner's news.
    virtual bool reading() const { return true; }
};

class ReplyPump {
  public:
    // What becomes of the bytes of a drain that were queued before a frame request that a byte
    // of the same drain caused.
    enum class EarlyBytes {
        // Dropped: a request is followed by its frame only (the loader's dump blocks). The drain
        // is taken from the queue in blocks, so the reader keeps the link to its end.
        Dropped,
        // Kept as the frame's beginning: a reply may start its frames unasked (the NAND dump's
        // first page follows its acknowledgement at once). Taken byte by byte, so a reader that
        // gives the link back mid-drain leaves the rest to the next owner.
        KeptForFrame,
    };

    ReplyPump(SerialLink& link, ReplyReader& reader, EarlyBytes earlyBytes);

    // The link's data notification.
    void drain();

    // For a reader that keeps its own frame request: the link's watcher is told to notify only
    // once a frame of this size is queued. Lowering it during a drain takes in the bytes that
    // the larger request held back without a notification.
    void followFrameRequest(std::size_t bytes);

  private:
    void drainDroppingEarly();
    void drainKeepingEarly();
    void deliverWholeFrames();
    bool takeFrameIfQueued(std::size_t bytes);

    SerialLink& m_Link;
    ReplyReader& m_Reader;
    const EarlyBytes m_EarlyBytes;
    std::size_t m_Threshold = 0;  // what the link's watcher was last told
    std::size_t m_Budget = 0;     // bytes of this drain still to hand over
    std::vector<std::uint8_t> m_Frame;
};

}  // namespace zrk

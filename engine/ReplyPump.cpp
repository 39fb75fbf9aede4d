#include "engine/ReplyPump.h"

#include <algorithm>

#include "serial/SerialLink.h"

namespace zrk {

ReplyPump::ReplyPump(SerialLink& link, ReplyReader& reader, EarlyBytes earlyBytes)
    : m_Link(link), m_Reader(reader), m_EarlyBytes(earlyBytes) {}

void ReplyPump::drain() {
    if (m_EarlyBytes == EarlyBytes::Dropped)
        drainDroppingEarly();
    else
        drainKeepingEarly();
    // The link went back to its previous owner during this drain: what follows is its news.
    if (!m_Reader.reading() && m_Link.receiveQueue().count() > 0)
        m_Link.deliverData();
}

void ReplyPump::followFrameRequest(std::size_t bytes) {
    if (bytes == m_Threshold)
        return;
    const bool lower = m_Threshold != 0 && (bytes == 0 || bytes < m_Threshold);
    m_Threshold = bytes;
    m_Link.setBlockMode(bytes);
    // Bytes read while a larger frame was awaited brought no notification: they are taken now.
    if (lower)
        m_Budget = std::max<std::size_t>(m_Budget,
                                         static_cast<std::size_t>(m_Link.receiveQueue().count()));
}

bool ReplyPump::takeFrameIfQueued(std::size_t bytes) {
    ReceiveQueue& queue = m_Link.receiveQueue();
    // A frame is taken only when it is all there; a partial one waits for the watcher's next
    // notification instead of being read as garbage.
    if (static_cast<std::size_t>(queue.count()) < bytes)
        return false;
    m_Frame.resize(bytes);
    queue.popBlock(m_Frame.data(), bytes);
    // Counted before the reader sees it: a request the reader lowers meanwhile widens the
    // budget by what came unannounced, and that must not be taken back.
    m_Budget -= std::min(m_Budget, bytes);
    m_Link.noteReplyAccepted();
    m_Reader.takeFrame(m_Frame);
    return true;
}

void ReplyPump::deliverWholeFrames() {
    while (m_Reader.reading()) {
        const std::size_t wanted = m_Reader.frameWanted();
        if (wanted == 0 || !takeFrameIfQueued(wanted))
            return;
    }
}

void ReplyPump::drainDroppingEarly() {
    ReceiveQueue& queue = m_Link.receiveQueue();
    // Only the bytes that were queued when the notification was taken: a step may send a
    // request whose reply arrives while we are still here, and that reply belongs to the
    // state the step set (a dump block above all), not to this drain.
    std::size_t pending = static_cast<std::size_t>(queue.count());
    // The frames awaited first. Whatever of this drain follows the last of them is read in the
    // state that frame left: kept queued, it would be taken as the reply to a request sent
    // after it came (the start of the next operation).
    while (m_Reader.reading()) {
        const std::size_t wanted = m_Reader.frameWanted();
        if (wanted == 0)
            break;
        if (!takeFrameIfQueued(wanted))
            return;
        pending -= std::min(pending, wanted);
    }
    // Taken in small blocks rather than byte by byte: each pop publishes the queue's tail to
    // the watcher's core, and a block of it costs what one byte does.
    std::uint8_t bytes[256];
    while (pending > 0) {
        const std::size_t n = queue.popBlock(bytes, std::min(pending, sizeof bytes));
        if (n == 0)
            break;
        pending -= n;
        for (std::size_t i = 0; i < n; ++i) {
            if (m_Reader.frameWanted() > 0 || !m_Reader.reading())
                continue;
            if (m_Reader.takeByte(bytes[i]))
                m_Link.noteReplyAccepted();
        }
    }
    deliverWholeFrames();
}

void ReplyPump::drainKeepingEarly() {
    ReceiveQueue& queue = m_Link.receiveQueue();
    m_Budget = static_cast<std::size_t>(queue.count());
    while (m_Reader.reading() && m_Budget > 0) {
        if (const std::size_t wanted = m_Reader.frameWanted(); wanted > 0) {
            if (!takeFrameIfQueued(wanted))
                break;
            continue;
        }
        std::uint8_t byte = 0;
        if (!queue.pop(byte))
            break;
        --m_Budget;
        if (m_Reader.takeByte(byte))
            m_Link.noteReplyAccepted();
    }
}

}  // namespace zrk

#include "serial/CommPort.h"

#include "serial/ByteTrace.h"

// What every system's port does alike: when news is worth a post, the words of a lost link
// and a failed write, and how long a write may take.
namespace zrk {

std::chrono::milliseconds CommPort::wireTime(std::size_t bytes, std::uint32_t baud) {
    const std::uint64_t speed = baud != 0 ? baud : 9600;
    const std::uint64_t ms = (static_cast<std::uint64_t>(bytes) * 10 * 1000 + speed - 1) / speed;
    return std::chrono::milliseconds(static_cast<std::int64_t>(ms));
}

std::chrono::milliseconds CommPort::writeDeadline(std::size_t bytes, std::uint32_t baud) {
    return wireTime(bytes, baud) * 2 + kWriteMargin;
}

bool CommPort::dataReady() const {
    const int queued = m_QueueRead.count();
    if (queued == 0)
        return false;
    const int frame = BlockMode.load();
    return frame == 0 || queued >= frame;
}

void CommPort::notifyData() {
    if (dataReady())
        postData();
}

void CommPort::reportLost(const std::string& reason) {
    if (m_Trace)
        m_Trace->traceNote("link lost: " + reason);
    postLinkLost(reason);
}

void CommPort::failWrite(std::size_t sent, std::size_t length, bool cancelled) {
    m_WriteFailed.store(true);
    const std::string counts = std::to_string(sent) + " of " + std::to_string(length);
    const std::string reason =
        cancelled ? "The write was cancelled: " + counts + " bytes were sent"
                  : "The phone stopped taking data: " + counts + " bytes were sent";
    if (m_Trace)
        m_Trace->traceNote("write failed: " + reason);
    postLinkLost(reason);
}

}  // namespace zrk

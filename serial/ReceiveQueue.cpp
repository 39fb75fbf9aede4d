#include "serial/ReceiveQueue.h"

#include <algorithm>

namespace zrk {

int ReceiveQueue::count() const {
    const int head = m_Head.load(std::memory_order_acquire);
    const int tail = m_Tail.load(std::memory_order_acquire);
    return (head - tail + kSize) % kSize;
}

bool ReceiveQueue::push(std::uint8_t byte) {
    return pushBlock(&byte, 1) == 1;
}

bool ReceiveQueue::pop(std::uint8_t& byte) {
    return popBlock(&byte, 1) == 1;
}

std::size_t ReceiveQueue::pushBlock(const std::uint8_t* data, std::size_t length) {
    const int head = m_Head.load(std::memory_order_relaxed);
    const int tail = m_Tail.load(std::memory_order_acquire);
    const int used = (head - tail + kSize) % kSize;
    const std::size_t n = std::min<std::size_t>(length, static_cast<std::size_t>(kCapacity - used));
    const std::size_t first = std::min<std::size_t>(n, static_cast<std::size_t>(kSize - head));
    std::copy_n(data, first, m_Buffer.begin() + head);
    std::copy_n(data + first, n - first, m_Buffer.begin());
    m_Head.store(static_cast<int>((head + n) % kSize), std::memory_order_release);
    return n;
}

std::size_t ReceiveQueue::popBlock(std::uint8_t* out, std::size_t length) {
    const int tail = m_Tail.load(std::memory_order_relaxed);
    const int head = m_Head.load(std::memory_order_acquire);
    const int used = (head - tail + kSize) % kSize;
    const std::size_t n = std::min<std::size_t>(length, static_cast<std::size_t>(used));
    const std::size_t first = std::min<std::size_t>(n, static_cast<std::size_t>(kSize - tail));
    std::copy_n(m_Buffer.begin() + tail, first, out);
    std::copy_n(m_Buffer.begin(), n - first, out + first);
    m_Tail.store(static_cast<int>((tail + n) % kSize), std::memory_order_release);
    return n;
}

void ReceiveQueue::reset() {
    m_Head.store(0, std::memory_order_relaxed);
    m_Tail.store(0, std::memory_order_relaxed);
    m_Buffer.fill(0);
}

}  // namespace zrk

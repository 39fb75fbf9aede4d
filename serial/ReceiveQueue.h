#pragma once
// Ring buffer between the watcher thread (the only producer) and the protocol thread (the only
// consumer). No lock: each side owns one index and publishes it only after the bytes it covers
// are stored or taken (release), and reads the other's with acquire.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zrk {

class ReceiveQueue {
  public:
    static constexpr int kSize = 16384;
    static constexpr int kCapacity = kSize - 1;  // one slot stays free: full differs from empty

    ReceiveQueue() { reset(); }
    ReceiveQueue(const ReceiveQueue&) = delete;
    ReceiveQueue& operator=(const ReceiveQueue&) = delete;

    int count() const;
    int freeSpace() const { return kCapacity - count(); }
    bool push(std::uint8_t byte);
    bool pop(std::uint8_t& byte);
    // Producer side: stores as many of the bytes as fit and publishes them at once.
    std::size_t pushBlock(const std::uint8_t* data, std::size_t length);
    // Consumer side: takes up to length bytes.
    std::size_t popBlock(std::uint8_t* out, std::size_t length);
    // Only while neither side runs (construction, tests).
    void reset();

  private:
    std::array<std::uint8_t, kSize> m_Buffer{};
    std::atomic<std::int32_t> m_Head{0};
    std::atomic<std::int32_t> m_Tail{0};
};

}  // namespace zrk

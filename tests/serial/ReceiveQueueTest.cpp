#include "serial/ReceiveQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace zrk {
namespace {

TEST(ReceiveQueue, HoldsOneLessThanItsSize) {
    ReceiveQueue q;
    std::vector<std::uint8_t> bytes(16000, 0x5A);
    ASSERT_EQ(q.pushBlock(bytes.data(), bytes.size()), 16000u);
    EXPECT_EQ(q.freeSpace(), 383);
    std::vector<std::uint8_t> more(384, 0x11);
    // 383 fit; the 384th does not (the watcher then leaves it in the driver).
    EXPECT_EQ(q.pushBlock(more.data(), more.size()), 383u);
    EXPECT_EQ(q.count(), ReceiveQueue::kCapacity);
    EXPECT_FALSE(q.push(0x22));
    std::uint8_t b = 0;
    ASSERT_TRUE(q.pop(b));
    EXPECT_EQ(b, 0x5A);
    EXPECT_TRUE(q.push(0x22));
}

TEST(ReceiveQueue, PopOnEmptyLeavesOutputAlone) {
    ReceiveQueue q;
    std::uint8_t b = 0xC3;
    EXPECT_FALSE(q.pop(b));
    EXPECT_EQ(b, 0xC3);
    EXPECT_EQ(q.count(), 0);
}

TEST(ReceiveQueue, KeepsOrderAcrossTheWrap) {
    ReceiveQueue q;
    std::vector<std::uint8_t> filler(16380, 0);
    q.pushBlock(filler.data(), filler.size());
    std::vector<std::uint8_t> sink(16380);
    q.popBlock(sink.data(), sink.size());
    std::vector<std::uint8_t> in(100);
    for (int i = 0; i < 100; ++i)
        in[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(q.pushBlock(in.data(), in.size()), 100u);
    std::vector<std::uint8_t> out(100);
    ASSERT_EQ(q.popBlock(out.data(), out.size()), 100u);
    EXPECT_EQ(in, out);
}

TEST(ReceiveQueue, OneProducerOneConsumerLoseNothing) {
    ReceiveQueue q;
    constexpr std::size_t kTotal = 10u << 20;
    std::thread producer([&] {
        std::size_t sent = 0;
        std::uint8_t chunk[977];
        while (sent < kTotal) {
            const std::size_t n = std::min(sizeof chunk, kTotal - sent);
            for (std::size_t i = 0; i < n; ++i)
                chunk[i] = static_cast<std::uint8_t>((sent + i) * 31);
            std::size_t done = 0;
            while (done < n) {
                done += q.pushBlock(chunk + done, n - done);
                if (done < n)
                    std::this_thread::yield();
            }
            sent += n;
        }
    });
    std::size_t received = 0;
    bool inOrder = true;
    std::uint8_t buffer[4096];
    while (received < kTotal) {
        const std::size_t n = q.popBlock(buffer, sizeof buffer);
        for (std::size_t i = 0; i < n; ++i) {
            inOrder &= buffer[i] == static_cast<std::uint8_t>((received + i) * 31);
        }
        received += n;
        if (n == 0)
            std::this_thread::yield();
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(q.count(), 0);
}

}  // namespace
}  // namespace zrk

#include "fuzz/RecordingLink.h"

#include <gtest/gtest.h>

#include <vector>

namespace zrk::fuzz {
namespace {

std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
    return bytes;
}

std::vector<std::uint8_t> bytesOf(const RecordingLink::Write& w) {
    return {w.bytes.begin(), w.bytes.end()};
}

// Writes of every size, past several blocks and one larger than a block: each must still read
// as written once the store has moved on.
TEST(RecordingLink, EveryWriteReadsAsWrittenWhileTheStoreGrows) {
    RecordingLink link;
    link.connected = true;
    std::vector<std::vector<std::uint8_t>> sent;
    const std::size_t sizes[] = {1,
                                 5,
                                 2048,
                                 ByteStore::kBlockSize - 3,
                                 7,
                                 ByteStore::kBlockSize * 2,
                                 0,
                                 333,
                                 ByteStore::kBlockSize,
                                 4};
    std::uint8_t seed = 0;
    for (const std::size_t size : sizes) {
        sent.push_back(pattern(size, seed++));
        EXPECT_EQ(link.write(sent.back().data(), size), size);
    }
    ASSERT_EQ(link.transcript.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(bytesOf(link.transcript[i]), sent[i]) << "write " << i;
}

// The next link takes the store over: it starts with no writes, and what it writes into the
// reused room is its own.
TEST(RecordingLink, TheNextLinkStartsEmptyAndReadsItsOwnWrites) {
    {
        RecordingLink first;
        first.connected = true;
        for (std::uint8_t i = 0; i < 40; ++i) {
            const auto bytes = pattern(4000, i);
            first.write(bytes.data(), bytes.size());
        }
    }
    RecordingLink next;
    next.connected = true;
    EXPECT_TRUE(next.transcript.empty());
    const auto a = pattern(100, 200);
    const auto b = pattern(70000, 201);
    next.write(a.data(), a.size());
    next.write(b.data(), b.size());
    ASSERT_EQ(next.transcript.size(), 2u);
    EXPECT_EQ(bytesOf(next.transcript[0]), a);
    EXPECT_EQ(bytesOf(next.transcript[1]), b);
}

// Two links alive at once (a test beside a harness) do not share room.
TEST(RecordingLink, TwoLinksAtOnceKeepTheirWritesApart) {
    RecordingLink one;
    RecordingLink two;
    one.connected = two.connected = true;
    const auto a = pattern(10, 1);
    const auto b = pattern(10, 2);
    one.write(a.data(), a.size());
    two.write(b.data(), b.size());
    EXPECT_EQ(bytesOf(one.transcript[0]), a);
    EXPECT_EQ(bytesOf(two.transcript[0]), b);
}

TEST(RecordingLink, RepliesAreTheBytesTakenBetweenWrites) {
    RecordingLink link;
    link.connected = true;
    const std::uint8_t request[] = {0x10, 0x20};
    link.write(request, 2);
    link.feed(std::vector<std::uint8_t>{1, 2, 3});
    std::uint8_t byte = 0;
    link.queue.pop(byte);
    link.queue.pop(byte);
    link.write(request, 1);
    EXPECT_EQ(link.reply(0), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(link.replySize(1), 0u);
    link.queue.pop(byte);
    EXPECT_EQ(link.reply(1), (std::vector<std::uint8_t>{3}));
}

}  // namespace
}  // namespace zrk::fuzz

#pragma once
// The tests' fake link, plus what the invariants need: every write with the number of received
// bytes the engine had taken by then, and every byte fed to it, so that a reply can be matched
// to the request it answers. A write on a closed port is a violation on the spot.
//
// The writes' bytes go into a store of large blocks that the process keeps from link to link
// (one link per fuzz input): a vector of its own per write was an allocation for nearly every
// step, which the sanitizer makes dear.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "support/FakeLink.h"

namespace zrk::fuzz {

// Bytes kept in place until the store is emptied. Its blocks stay allocated for the next user.
class ByteStore {
  public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    std::span<const std::uint8_t> keep(const std::uint8_t* data, std::size_t length) {
        if (length == 0)
            return {};
        while (m_Block < m_Blocks.size() && m_Blocks[m_Block].size - m_Used < length) {
            ++m_Block;
            m_Used = 0;
        }
        if (m_Block == m_Blocks.size()) {
            const std::size_t size = std::max(kBlockSize, length);
            m_Blocks.push_back({std::make_unique_for_overwrite<std::uint8_t[]>(size), size});
            m_Used = 0;
        }
        std::uint8_t* at = m_Blocks[m_Block].bytes.get() + m_Used;
        std::memcpy(at, data, length);
        m_Used += length;
        return {at, length};
    }
    // What was kept is gone; the room stays.
    void clear() {
        m_Block = 0;
        m_Used = 0;
    }

  private:
    struct Block {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size;
    };
    std::vector<Block> m_Blocks;
    std::size_t m_Block = 0;  // the block being filled
    std::size_t m_Used = 0;   // of that block
};

class RecordingLink : public test::FakeLink {
  public:
    struct Write {
        std::size_t consumedAt;  // received bytes taken by the engine before this write
        std::span<const std::uint8_t> bytes;  // valid while the link lives
    };

    // The store of the link before, emptied (a second link alive at once gets one of its own).
    RecordingLink() : m_Store(std::move(spareStore())) { m_Store.clear(); }
    ~RecordingLink() override {
        m_Store.clear();
        spareStore() = std::move(m_Store);
    }
    RecordingLink(const RecordingLink&) = delete;
    RecordingLink& operator=(const RecordingLink&) = delete;

    std::size_t write(const std::uint8_t* data, std::size_t length) override {
        check(connected, "a write on a closed port");
        transcript.push_back({consumed(), m_Store.keep(data, length)});
        return length;  // kept out of FakeLink's own buffers: a long run would only grow them
    }
    // Queues what fits, as the watcher would, and notes it.
    void feed(std::span<const std::uint8_t> bytes) {
        const std::size_t queued = queue.pushBlock(bytes.data(), bytes.size());
        fed.insert(fed.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(queued));
    }
    std::size_t consumed() const { return fed.size() - static_cast<std::size_t>(queue.count()); }
    // The bytes the engine took after write i and before the next one (or until now).
    std::vector<std::uint8_t> reply(std::size_t i) const {
        const std::size_t from = transcript[i].consumedAt;
        return {fed.begin() + static_cast<std::ptrdiff_t>(from),
                fed.begin() + static_cast<std::ptrdiff_t>(from + replySize(i))};
    }
    // How many bytes reply(i) holds, without copying them.
    std::size_t replySize(std::size_t i) const {
        const std::size_t to =
            i + 1 < transcript.size() ? transcript[i + 1].consumedAt : consumed();
        return to - transcript[i].consumedAt;
    }

    std::vector<Write> transcript;
    std::vector<std::uint8_t> fed;

  private:
    static ByteStore& spareStore() {
        static ByteStore store;
        return store;
    }
    ByteStore m_Store;
};

}  // namespace zrk::fuzz

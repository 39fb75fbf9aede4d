#pragma once
// The tests' fake link, plus what the invariants need: every write with the number of received
// bytes the engine had taken by then, and every byte fed to it, so that a reply can be matched
// to the request it answers. A write on a closed port is a violation on the spot.
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "support/FakeLink.h"

namespace zrk::fuzz {

class RecordingLink : public test::FakeLink {
  public:
    struct Write {
        std::size_t consumedAt;  // received bytes taken by the engine before this write
        std::vector<std::uint8_t> bytes;
    };

    std::size_t write(const std::uint8_t* data, std::size_t length) override {
        check(connected, "a write on a closed port");
        transcript.push_back({consumed(), std::vector<std::uint8_t>(data, data + length)});
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
};

}  // namespace zrk::fuzz

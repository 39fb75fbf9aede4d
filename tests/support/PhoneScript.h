#pragma once
// The replies of a phone that comes up without a fault, computed ahead from the images the
// engine sends, so a test can feed them in any split it likes. The stream stops at the baud
// switch (the port is closed there) and goes on after the reopen.
#include <cstdint>
#include <functional>
#include <vector>

#include "bringup/BringUp.h"
#include "bringup/TargetData.h"
#include "engine/Checksums.h"
#include "protocol/ProtocolEngine.h"
#include "support/EngineProbe.h"
#include "support/FakeLink.h"
#include "support/RecordingView.h"

namespace zrk::test {

struct BringUpReplies {
    std::vector<std::uint8_t> beforeSwitch;
    std::vector<std::uint8_t> afterSwitch;
};

inline std::vector<std::uint8_t> supportedFlashId() {
    return {0x00, 0xEC, 0x22, 0xFC, 0x12, 0x34, 0x56, 0x78};
}

inline std::vector<std::uint8_t> sampleChallenge() {
    return {0x10, 0xF1, 0x22, 0xE3, 0x34, 0xD5, 0x46, 0xC7,
            0x58, 0xB9, 0x6A, 0xAB, 0x7C, 0x9D, 0x8E, 0x0F};
}

inline BringUpReplies bringUpReplies(
    const TargetData& data, int speedIndex,
    const std::vector<std::uint8_t>& flashId = supportedFlashId(),
    const std::vector<std::uint8_t>& challenge = sampleChallenge()) {
    BringUpReplies r;
    auto& a = r.beforeSwitch;
    a.push_back(0x81);
    a.push_back(0x44);
    a.insert(a.end(), challenge.begin(), challenge.end());
    a.push_back(0x4F);  // identification
    a.push_back(0x4F);  // time-out
    a.push_back(0x4F);  // load address
    const std::size_t words = (data.preLoader.size() + 3) / 4;
    a.insert(a.end(), words, 0x4F);
    a.push_back(0x4F);  // start address
    a.push_back(0xAB);  // pre-loader runs

    auto& b = r.afterSwitch;
    b.push_back(static_cast<std::uint8_t>(speedIndex));
    b.push_back(sum8(bigEndian32(static_cast<std::uint32_t>(data.bootLoader.size()))));
    std::size_t offset = 0;
    do {
        const std::size_t n = std::min<std::size_t>(2048, data.bootLoader.size() - offset);
        b.push_back(0xF7);
        b.push_back(sum8(data.bootLoader.subspan(offset, n)));
        offset += n;
    } while (offset < data.bootLoader.size());
    b.push_back(0xAB);  // boot-loader runs
    b.push_back(0x10);  // CS0 base
    b.insert(b.end(), flashId.begin(), flashId.end());
    return r;
}

// Chunk sizes for feeding a stream: 0 means everything in one notification.
using Splitter = std::function<std::size_t(std::size_t remaining)>;

inline void feed(ProtocolEngine& engine, FakeLink& link, const std::vector<std::uint8_t>& bytes,
                 const Splitter& split = {}) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t n = split ? split(bytes.size() - at) : bytes.size() - at;
        n = std::max<std::size_t>(1, std::min(n, bytes.size() - at));
        link.receive(std::vector<std::uint8_t>(bytes.begin() + at, bytes.begin() + at + n));
        engine.onDataReceived();
        at += n;
    }
}

// START and a whole bring-up without a fault: afterwards the loader phase is ready.
inline void bringUpPhone(ProtocolEngine& engine, FakeLink& link, RecordingView& view,
                         const Splitter& split = {}) {
    engine.start(view.userChoices);
    const auto replies =
        bringUpReplies(EngineProbe::bringUp(engine).targetData(), view.userChoices.speedIndex);
    feed(engine, link, replies.beforeSwitch, split);
    engine.onBaudTimer();
    feed(engine, link, replies.afterSwitch, split);
}

}  // namespace zrk::test

#include "station/PhoneWait.h"

#include "engine/EngineLoop.h"
#include "protocol/ProtocolEngine.h"
#include "serial/CommPort.h"

namespace zrk::station {

bool awaitPhone(EngineLoop& loop, CommPort& port, const ProtocolEngine& engine,
                const std::function<bool()>& ended, std::chrono::milliseconds wait,
                const std::function<bool()>& stopped) {
    // A phone is there once the bring-up took one of its replies.
    const std::uint64_t repliesBefore = port.repliesAccepted();
    loop.runUntil([&] { return ended() || engine.stage() != Stage::WaitingForPhone; }, wait,
                  stopped);
    return port.repliesAccepted() != repliesBefore;
}

}  // namespace zrk::station

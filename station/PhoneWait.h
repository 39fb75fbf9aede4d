#pragma once
// The first step of every phone on either front end: START is pressed and the link waits for
// the phone on the cable to speak.
#include <chrono>
#include <functional>

namespace zrk {
class CommPort;
class EngineLoop;
class ProtocolEngine;
}  // namespace zrk

namespace zrk::station {

// Runs the loop until the engine leaves its wait for the phone or its operation ended (ended),
// for at most wait without a reply (zero: for ever), or until stopped. True when the phone's
// boot ROM spoke meanwhile: a wait that ended otherwise (a stop, the adapter pulled out) served
// no phone.
bool awaitPhone(EngineLoop& loop, CommPort& port, const ProtocolEngine& engine,
                const std::function<bool()>& ended, std::chrono::milliseconds wait,
                const std::function<bool()>& stopped);

}  // namespace zrk::station

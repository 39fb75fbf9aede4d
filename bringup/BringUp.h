#pragma once
// Bringing the phone up: boot ROM handshake and pre-loader upload, baud switch and boot-loader
// upload, flash identification. Steps run while LoaderReady is 0.
#include <cstdint>

namespace zrk {

class ProtocolEngine;

class BringUp {
  public:
    explicit BringUp(ProtocolEngine& engine) : m_Engine(engine) {}

    void start();                  // START
    void step(std::uint8_t byte);  // one received byte in a bring-up state
    void onBaudTimer();            // the 500 ms baud-switch timer

  private:
    ProtocolEngine& m_Engine;
};

}  // namespace zrk

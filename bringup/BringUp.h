#pragma once
// Bringing the phone up: boot ROM handshake and pre-loader upload, baud switch and boot-loader
// upload, flash identification. Steps run while LoaderReady is 0; each step group keeps its own
// counters so a reply split over many notifications is collected where it left off.
#include <cstdint>

#include "bringup/BaudSwitch.h"
#include "bringup/BootLoaderUpload.h"
#include "bringup/BootRomHandshake.h"
#include "bringup/FlashIdentification.h"
#include "bringup/TargetData.h"

namespace zrk {

class ProtocolEngine;

class BringUp {
  public:
    explicit BringUp(ProtocolEngine& engine);

    void start();                  // START
    void step(std::uint8_t byte);  // one received byte in a bring-up state
    void onBaudTimer();            // the 500 ms baud-switch timer

    void setTargetData(const TargetData& data) { m_Data = data; }
    const TargetData& targetData() const { return m_Data; }

    // Speed table of the speed list: index 0..3.
    static bool validSpeedIndex(int index) { return index >= 0 && index <= 3; }
    static std::uint32_t baudRateFor(int speedIndex);

    // Set ProtocolState to IDLE and log the message.
    void failWith(const std::string& message);

    BootLoaderUpload& upload() { return m_Upload; }
    FlashIdentification& identification() { return m_Identification; }

  private:
    ProtocolEngine& m_Engine;
    TargetData m_Data;
    BootRomHandshake m_Handshake;
    BaudSwitch m_BaudSwitch;
    BootLoaderUpload m_Upload;
    FlashIdentification m_Identification;
};

}  // namespace zrk

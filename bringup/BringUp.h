#pragma once
// Bringing the phone up: boot ROM handshake and pre-loader upload, baud switch and boot-loader
// upload, flash identification. Steps run while LoaderReady is 0, each an exchange that begins
// the next one when its reply has come, however many notifications it took.
#include <cstdint>

#include "bringup/BaudSwitch.h"
#include "bringup/BootLoaderUpload.h"
#include "bringup/BootRomHandshake.h"
#include "bringup/FlashIdentification.h"
#include "bringup/TargetData.h"
#include "engine/Phase.h"

namespace zrk {

class PhaseContext;

class BringUp : public Phase {
  public:
    explicit BringUp(PhaseContext& context);

    // START. Returns true when the port is open and the phone is awaited.
    bool start();
    void step(std::uint8_t byte) override;  // one received byte in a bring-up state
    bool waitsForPhone(std::int32_t state) const override;
    void onBaudTimer();  // the 500 ms baud-switch timer

    void setTargetData(const TargetData& data) { m_Data = data; }
    const TargetData& targetData() const { return m_Data; }

    BaudSwitch& baudSwitch() { return m_BaudSwitch; }
    BootLoaderUpload& upload() { return m_Upload; }
    FlashIdentification& identification() { return m_Identification; }
    const BootRomHandshake& handshake() const { return m_Handshake; }

  private:
    PhaseContext& m_Context;
    TargetData m_Data;
    BootRomHandshake m_Handshake;
    BaudSwitch m_BaudSwitch;
    BootLoaderUpload m_Upload;
    FlashIdentification m_Identification;
};

}  // namespace zrk

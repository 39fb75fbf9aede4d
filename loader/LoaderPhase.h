#pragma once
// The NOR operations on the running boot-loader: firmware download, erase, dump. Every
// operation starts with the frame's start command; the first reply byte, whatever its value,
// continues the operation chosen by OperationKind.
#include <cstdint>
#include <span>

#include "engine/Phase.h"
#include "loader/FirmwareDownload.h"
#include "loader/NorDump.h"
#include "loader/NorErase.h"
#include "loader/NorVerify.h"

namespace zrk {

class PhaseContext;

class LoaderPhase : public Phase {
  public:
    // Serves the firmware, erase, dump and verify kinds of the context's operations.
    explicit LoaderPhase(PhaseContext& context);

    // Buttons; each checks first that the phone is ready for an operation.
    void downloadFirmware(bool thenFileSystem);
    void erase();
    void dump();
    void verify();  // the firmware image against the NOR, nothing written

    void step(std::uint8_t byte) override;
    // A whole NOR dump block and its checksum byte.
    void frame(std::span<const std::uint8_t> bytes) override;
    const char* exchangeName(std::int32_t state) const override;

  private:
    PhaseContext& m_Context;
    NorVerify m_Verify;  // before the download, which hands over to it
    FirmwareDownload m_Firmware;
    NorErase m_Erase;
    NorDump m_Dump;
};

}  // namespace zrk

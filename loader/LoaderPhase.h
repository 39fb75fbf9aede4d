#pragma once
// The loader phase: operations on the running boot-loader. Steps run while LoaderReady is 1.
// Every operation starts with CMD_START; the first reply byte, whatever its value, continues the
// operation chosen by OperationKind.
#include <cstdint>

#include "loader/FirmwareDownload.h"
#include "loader/NorDump.h"
#include "loader/NorErase.h"

namespace zrk {

class ProtocolEngine;

class LoaderPhase {
  public:
    explicit LoaderPhase(ProtocolEngine& engine)
        : m_Engine(engine), m_Firmware(engine), m_Erase(engine), m_Dump(engine) {}

    void download();
    void erase();
    void dump();
    void step(std::uint8_t byte);
    // A whole NOR dump block (8192 bytes in the transfer buffer) and its checksum byte.
    void dumpBlockStep(const std::uint8_t* block, std::uint8_t checksum);

    // START clears the download position before the phone is brought up again.
    void resetForStart() { m_Firmware.resetForStart(); }

    FirmwareDownload& firmware() { return m_Firmware; }

  private:
    // Buttons only start an operation on an identified phone with nothing else running.
    bool readyForOperation();
    void fileSystemNotAvailable();

    ProtocolEngine& m_Engine;
    FirmwareDownload m_Firmware;
    NorErase m_Erase;
    NorDump m_Dump;
};

}  // namespace zrk

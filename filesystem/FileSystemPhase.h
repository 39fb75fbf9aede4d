#pragma once
// The NAND file-system operations on the running boot-loader: the file-system download, format
// and status. Like the NOR operations each starts with the frame's start command.
#include <cstdint>
#include <optional>

#include "engine/Phase.h"
#include "filesystem/FileSystemDownload.h"
#include "filesystem/FileSystemVerify.h"
#include "filesystem/FormatAndStatus.h"

namespace zrk {

class PhaseContext;

class FileSystemPhase : public Phase {
  public:
    // Serves the file-system, format and status kinds of the context's operations.
    explicit FileSystemPhase(PhaseContext& context);

    // Buttons; each checks first that the phone is ready for an operation.
    void download();
    void format();
    void status();
    void verify();  // the file-system image against the phone's files, nothing written
    // The engine's timer fired; true when the verify's explorer was holding it.
    bool onTimer() { return m_Verify.onTimer(); }
    const std::optional<FormatAndStatus::StatusRecord>& statusRecord() const {
        return m_FormatAndStatus.statusRecord();
    }

    void step(std::uint8_t byte) override;
    const char* exchangeName(std::int32_t state) const override;

  private:
    PhaseContext& m_Context;
    FileSystemVerify m_Verify;  // before the download, which hands over to it
    FileSystemDownload m_Download;
    FormatAndStatus m_FormatAndStatus;
};

}  // namespace zrk

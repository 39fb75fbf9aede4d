#pragma once
// The read-back verify of a firmware image: every 8192-byte block the image covers is read back
// with the dump exchange and compared with the image's own bytes (the rest of the last sector is
// not judged). It runs after a download, when asked, or on its own against an image already on
// the phone. The first differing byte ends it with the address the user sees.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/HeldFiles.h"
#include "engine/OpenFile.h"
#include "engine/Outcome.h"

namespace zrk {

class PhaseContext;

class NorVerify : private HeldFiles {
  public:
    explicit NorVerify(PhaseContext& context);
    NorVerify(const NorVerify&) = delete;
    NorVerify& operator=(const NorVerify&) = delete;

    // The verify on its own: the image and the start address as the download would take them.
    void press();
    // After a download of length bytes from startOffset; onGood continues the download's
    // ending once every byte matched. A failed verify finishes the operation itself.
    void afterDownload(const std::string& imagePath, std::uint32_t startOffset,
                       std::uint32_t length, std::function<void()> onGood);

    void onStartReply();  // WAIT_START_REPLY with OP_VERIFY_FIRMWARE
    void blockStep(const std::uint8_t* block, std::uint8_t checksum);

  private:
    bool chooseRange();
    void requestBlock();
    void logSector();
    void fail(FailureCause cause, const std::string& logText, const std::string& detail);
    void logTime();

    void closeFiles() override { m_Image.close(); }
    bool holdsOpenFile() const override { return m_Image.isOpen(); }

    PhaseContext& m_Context;
    std::function<void()> m_OnGood;
    bool m_AfterDownload = false;
    std::string m_ImagePath;
    OpenFile m_Image;
    std::uint32_t m_StartOffset = 0;
    std::uint32_t m_Length = 0;
    std::uint32_t m_Done = 0;  // bytes compared so far
    int m_SectorIndex = 0;
    int m_Sectors = 0;  // sectors begun so far
    std::uint32_t m_Crc = 0;
    std::int64_t m_Started = 0;
};

}  // namespace zrk

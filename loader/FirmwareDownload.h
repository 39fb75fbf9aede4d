#pragma once
// Writing a firmware image into NOR through the boot-loader: image CRC, write offset, length,
// then sector by sector a program command chosen by the sector's size, the data in 2048-byte
// blocks (one unacknowledged block on the line at a time), and the sector's sum8.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/HeldFiles.h"
#include "engine/OpenFile.h"

namespace zrk {

class PhaseContext;
class NorVerify;

class FirmwareDownload : private HeldFiles {
  public:
    static constexpr std::uint32_t kBlockSize = 2048;

    // With "Verify after download" the image is read back through verify before the download
    // counts as done.
    FirmwareDownload(PhaseContext& context, NorVerify& verify);
    FirmwareDownload(const FirmwareDownload&) = delete;
    FirmwareDownload& operator=(const FirmwareDownload&) = delete;

    void press(bool thenFileSystem);  // DOWNLOAD in BIN (or the first part of BIN + QIX)
    void onStartReply();  // WAIT_START_REPLY with OP_FIRMWARE or OP_FIRMWARE_THEN_FILE_SYSTEM

  private:
    bool chooseStartOffset();
    void sendWriteOffset();
    void sendImageLength();
    void startSector(std::uint32_t offset);
    // The next block of the sector; the first goes after the sector's program command.
    void sendBlock(std::span<const std::uint8_t> program = {});
    void awaitSectorSum(std::span<const std::uint8_t> program = {});
    void onBlockAck();
    void onSectorSum();
    void endOfFirmwarePart();
    void startFileSystemPart();
    bool sentWhatWasAnnounced();
    void completeDownload();
    void failReading();

    void closeFiles() override { m_Image.close(); }
    bool holdsOpenFile() const override { return m_Image.isOpen(); }

    PhaseContext& m_Context;
    NorVerify& m_Verify;
    std::string m_ImagePath;
    OpenFile m_Image;
    std::uint64_t m_CheckedLength = 0;  // the length the CRC and the fit check were made for
    std::uint32_t m_AnnouncedCrc = 0;   // the CRC the phone was given
    std::uint32_t m_SentCrc = 0;        // the CRC of the bytes sent so far
    std::uint32_t m_WriteOffset = 0;
    std::uint32_t m_StartOffset = 0;
    std::uint32_t m_SectorOffset = 0;  // byte offset of the sector being written
    std::int32_t m_SectorIndex = 0;
    std::uint32_t m_ImageLength = 0;
    std::uint32_t m_ImageRemaining = 0;
    bool m_EndOfImage = false;
    std::uint32_t m_BlocksPerSector = 0;
    std::uint32_t m_BlocksSent = 0;
    std::uint8_t m_SectorSum = 0;  // of the sector's blocks sent so far
};

}  // namespace zrk

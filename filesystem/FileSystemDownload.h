#pragma once
// Filling the phone's NAND file system from a .qix image and its .cfg: mount, the image's CRC,
// the clock, every directory, the version texts, every file in blocks of up to 8192 bytes with
// an empty block after a file whose size is a multiple of 8192, unmount.
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "engine/Outcome.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"

namespace zrk {

class FileSystemVerify;
class PhaseContext;

class FileSystemDownload {
  public:
    static constexpr std::size_t kTimePacketSize = 28;

    // With "Verify after download" the files are read back through verify before the download
    // counts as done.
    FileSystemDownload(PhaseContext& context, FileSystemVerify& verify)
        : m_Context(context), m_Verify(verify) {}

    void press();         // DOWNLOAD in QIX
    void onStartReply();  // WAIT_START_REPLY with OP_FILE_SYSTEM
    void step(std::uint8_t byte);

    // The clock packet for the given local time: C4h, three zero bytes, then seconds,
    // minutes, hours, day, month and year, each 32-bit little-endian.
    static std::array<std::uint8_t, kTimePacketSize> timePacket(const std::tm& local);

    // Before anything goes to the phone: the code page exists and every name of the chosen .cfg
    // converts with it and fits. A common code page that fits is offered; a refusal is logged
    // and ends the operation. True when the operation may start. A pair that fails the image
    // check passes here: the operation's own check reports it in its own words.
    static bool namesUsable(PhaseContext& context, Operation operation);

  private:
    void fail(const std::string& logText, FailureCause cause = FailureCause::PhoneReply);
    // A reply that is not the one this exchange wants.
    void failReply(std::uint8_t got, std::uint8_t expected, const std::string& logText);
    void nextDirectory();
    void versionStep();
    void nextFile();
    void sendBlock();
    bool sentWhatWasAnnounced();
    void failChangedImage();
    void complete();
    void completeDownload(std::uint64_t total);

    PhaseContext& m_Context;
    FileSystemVerify& m_Verify;
    std::string m_ImagePath;
    std::optional<QixConfig> m_Config;
    std::optional<CodePage> m_CodePage;
    std::uint32_t m_FileBytesSent = 0;
    std::uint32_t m_RemainingInFile = 0;
    bool m_LastBlock = false;
    // The CRC and length announced to the phone, and those of the bytes actually sent.
    std::uint32_t m_AnnouncedCrc = 0;
    std::uint64_t m_AnnouncedLength = 0;
    std::uint32_t m_SentCrc = 0;
    std::uint64_t m_SentLength = 0;
    bool m_ImageChanged = false;
};

}  // namespace zrk

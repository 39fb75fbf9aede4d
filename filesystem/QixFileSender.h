#pragma once
// The files of a file-system download: each file's header, its blocks of up to 8192 bytes (an
// empty one after a file whose size is a multiple of 8192) and the phone's word that it is
// written; then the unmount. What was sent is summed to hold against the CRC announced.
#include <cstdint>
#include <functional>

namespace zrk {

class CodePage;
class OpenFile;
class PhaseContext;
class QixConfig;

class QixFileSender {
  public:
    // The files' bytes are read from image, which the download opens before start.
    QixFileSender(PhaseContext& context, OpenFile& image) : m_Context(context), m_Image(image) {}

    // The image's CRC and length as the phone was given them.
    void announce(std::uint32_t crc, std::uint64_t length);
    // From the configuration's first file to the unmount, whose echo is handed on; both
    // outlive the download.
    void start(QixConfig& config, const CodePage& codePage, std::function<void()> unmounted);

    std::uint32_t bytesSent() const { return m_FileBytesSent; }
    // Known once the unmount is sent: the bytes sent are not the image the CRC was taken of.
    bool imageChanged() const { return m_ImageChanged; }
    void forgetImage() { m_ImageChanged = false; }

  private:
    void nextFile();
    void failHeader(std::uint8_t got);
    void sendBlock();
    void awaitFileWritten();
    bool sentWhatWasAnnounced();

    PhaseContext& m_Context;
    OpenFile& m_Image;
    QixConfig* m_Config = nullptr;
    const CodePage* m_CodePage = nullptr;
    std::function<void()> m_Unmounted;
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

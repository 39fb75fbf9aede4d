#include "filesystem/QixFileSender.h"

#include <algorithm>
#include <vector>

#include "engine/Checksums.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"
#include "filesystem/DownloadReplies.h"
#include "filesystem/FileSystemPackets.h"
#include "filesystem/FileSystemStates.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixEntryName.h"

namespace zrk {

using namespace fs;

void QixFileSender::announce(std::uint32_t crc, std::uint64_t length) {
    m_AnnouncedCrc = crc;
    m_AnnouncedLength = length;
}

void QixFileSender::start(QixConfig& config, const CodePage& codePage) {
    m_Config = &config;
    m_CodePage = &codePage;
    m_Context.view().setProgressRange(config.qixSize());
    m_FileBytesSent = 0;
    m_SentCrc = 0;
    m_SentLength = 0;
    m_Context.view().setProgressPos(0);
    m_Context.setState(WAIT_HEADER_SUM);
    config.restartWalk();
    nextFile();
}

void QixFileSender::nextFile() {
    const WalkStep next = m_Config->nextFileEntry(*m_CodePage);
    switch (next.result) {
        case WalkResult::NameTooLong:
            m_Context.log(next.logText);
            m_Context.abandon(FailureCause::Refused, next.logText);
            return;
        case WalkResult::NoneLeft:
            m_ImageChanged = !sentWhatWasAnnounced();
            m_Context.qixImage.close();
            m_Context.log("Unmounting QIX... ");
            m_Context.setState(WAIT_UNMOUNT_ECHO);
            m_Context.send({CMD_UNMOUNT});
            return;
        case WalkResult::Entry:
            break;
    }
    const QixEntry& entry = next.entry;
    m_Context.log(formatText("Writing a file \"%s\" (%d bytes)... ", shownName(entry).c_str(),
                             static_cast<int>(entry.fileSize)));
    std::vector<std::uint8_t> packet = namePacket(CMD_FILE_HEADER, entry.utf8Name);
    const auto size = bigEndian32(entry.fileSize);
    packet.insert(packet.end(), size.begin(), size.end());
    m_RemainingInFile = entry.fileSize;
    m_Context.setState(WAIT_HEADER_SUM);
    m_Context.expectedReply = sum8(std::span<const std::uint8_t>(packet).subspan(1));
    m_Context.send(packet);
}

void QixFileSender::sendBlock() {
    m_Context.expectedReply = 0;
    m_Context.send({CMD_FILE_BLOCK});
    std::uint32_t n = 0;
    if (m_RemainingInFile >= kFileBlockSize) {
        n = kFileBlockSize;
        m_RemainingInFile -= kFileBlockSize;
    } else {
        n = m_RemainingInFile;
        m_RemainingInFile = 0;
        if (n == 0) {
            m_LastBlock = true;
            m_Context.setState(WAIT_LAST_BLOCK_SUM);
            return;
        }
    }
    std::uint8_t* buffer = m_Context.transferBuffer().data();
    const std::size_t got = m_Context.qixImage.read(buffer, n);
    if (got < n) {
        // The check measured the image; a file that shrank since would send a block short of
        // what the header announced, and the phone would wait for the rest for ever.
        const std::string text =
            "\r\n** The QIX image could not be read to its end; the download is stopped.\r\n";
        m_Context.log(text);
        m_Context.abandon(FailureCause::File, text);
        return;
    }
    if (n < kFileBlockSize)
        m_LastBlock = true;
    const std::span<const std::uint8_t> block(buffer, n);
    m_SentCrc = crc32Update(m_SentCrc, buffer, n);
    m_SentLength += n;
    m_Context.send(block);
    m_FileBytesSent += n;
    m_Context.countBytes(n);
    m_Context.view().setProgressPos(m_FileBytesSent);
    m_Context.expectedReply = sum8(block);
    if (m_LastBlock)
        m_Context.setState(WAIT_LAST_BLOCK_SUM);
}

bool QixFileSender::sentWhatWasAnnounced() {
    // A configuration whose walk leaves the end of the image unsent still had it announced:
    // the rest is summed too, so only a changed file can make the two CRCs differ. Bytes
    // appended since the CRC was taken were neither announced nor sent.
    std::uint8_t* buffer = m_Context.transferBuffer().data();
    while (m_SentLength < m_AnnouncedLength) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
            m_Context.transferBuffer().size(), m_AnnouncedLength - m_SentLength));
        const std::size_t n = m_Context.qixImage.read(buffer, wanted);
        if (n == 0)
            break;
        m_SentCrc = crc32Update(m_SentCrc, buffer, n);
        m_SentLength += n;
    }
    return m_SentCrc == m_AnnouncedCrc && m_SentLength == m_AnnouncedLength;
}

void QixFileSender::step(std::uint8_t byte) {
    switch (m_Context.state()) {
        case WAIT_HEADER_SUM:
            if (!sumAccepted(m_Context, byte,
                             formatText("Fail!(%x:%x) (in sending name and size)\r\n", byte,
                                        m_Context.expectedReply)))
                return;
            m_Context.setState(WAIT_BLOCK_SUM);
            m_LastBlock = false;
            sendBlock();
            return;
        case WAIT_BLOCK_SUM:
            if (!sumAccepted(m_Context, byte, "checksum mismatched!\r\n"))
                return;
            sendBlock();
            return;
        case WAIT_LAST_BLOCK_SUM:
            if (!sumAccepted(m_Context, byte, "checksum mismatched!\r\n"))
                return;
            m_Context.setState(WAIT_FILE_DONE);
            return;
        case WAIT_FILE_DONE:
            if (!answerIs(m_Context, byte, FILE_DONE, formatText("Writing error(0x%X)\r\n", byte)))
                return;
            m_Context.log("OK!\r\n");
            m_Context.setState(WAIT_HEADER_SUM);
            nextFile();
            return;
        default:
            return;
    }
}

}  // namespace zrk

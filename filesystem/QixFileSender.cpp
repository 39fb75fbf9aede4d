#include "filesystem/QixFileSender.h"

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/Checksums.h"
#include "engine/OpenFile.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"
#include "filesystem/FileSystemExchange.h"
#include "filesystem/FileSystemPackets.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixEntryName.h"

namespace zrk {

using namespace fs;

namespace {

std::string unmountFailed(std::uint8_t got) {
    return formatText("Unmounting Error!(0x%0X)\r\n", got);
}

std::string writingFailed(std::uint8_t got) {
    return formatText("Writing error(0x%X)\r\n", got);
}

}  // namespace

void QixFileSender::announce(std::uint32_t crc, std::uint64_t length) {
    m_AnnouncedCrc = crc;
    m_AnnouncedLength = length;
}

void QixFileSender::start(QixConfig& config, const CodePage& codePage,
                          std::function<void()> unmounted) {
    m_Config = &config;
    m_CodePage = &codePage;
    m_Unmounted = std::move(unmounted);
    m_Context.view().setProgressRange(config.qixSize());
    m_FileBytesSent = 0;
    m_SentCrc = 0;
    m_SentLength = 0;
    m_Context.view().setProgressPos(0);
    m_Context.setState(stateNumber(FileSystemState::WAIT_HEADER_SUM));
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
            m_Image.close();
            m_Context.log("Unmounting QIX... ");
            m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_UNMOUNT_ECHO)
                                          .send({CMD_UNMOUNT})
                                          .expect(CMD_UNMOUNT)
                                          .failing(unmountFailed)
                                          .failureDetail(Exchange::Detail::AsLogged)
                                          .then([this] {
                                              m_Context.log("OK!\r\n");
                                              m_Unmounted();
                                          })));
            return;
        case WalkResult::Entry:
            break;
    }
    const QixEntry& entry = next.entry;
    m_Context.log(formatLine("Writing a file \"%s\" (%d bytes)... ", shownName(entry).c_str(),
                             static_cast<int>(entry.fileSize)));
    std::vector<std::uint8_t> packet = namePacket(CMD_FILE_HEADER, entry.utf8Name);
    const auto size = bigEndian32(entry.fileSize);
    packet.insert(packet.end(), size.begin(), size.end());
    m_RemainingInFile = entry.fileSize;
    // The words of a wrong sum name the one wanted too, so the sender says them itself.
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_HEADER_SUM)
                                  .send(packet)
                                  .expectSum8Of(std::span<const std::uint8_t>(packet).subspan(1))
                                  .then([this] {
                                      m_Context.setState(
                                          stateNumber(FileSystemState::WAIT_BLOCK_SUM));
                                      m_LastBlock = false;
                                      sendBlock();
                                  })
                                  .otherwise([this](std::uint8_t got) { failHeader(got); })));
}

void QixFileSender::failHeader(std::uint8_t got) {
    const std::uint8_t wanted = m_Context.armedExchange()->expectedReply;
    const std::string text = formatText("Fail!(%x:%x) (in sending name and size)\r\n", got, wanted);
    m_Context.wrongReply(got, wanted, text, Ending::Abandon, text);
}

void QixFileSender::sendBlock() {
    std::uint32_t n = 0;
    if (m_RemainingInFile >= kFileBlockSize) {
        n = kFileBlockSize;
        m_RemainingInFile -= kFileBlockSize;
    } else {
        n = m_RemainingInFile;
        m_RemainingInFile = 0;
        if (n == 0) {
            // A file that ends on a block's end is closed by an empty block, whose sum is 0.
            m_LastBlock = true;
            m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_LAST_BLOCK_SUM)
                                          .send({CMD_FILE_BLOCK})
                                          .expect(0)
                                          .failing("checksum mismatched!\r\n")
                                          .failureDetail(Exchange::Detail::AsLogged)
                                          .then([this] { awaitFileWritten(); })));
            return;
        }
    }
    std::uint8_t* buffer = m_Context.transferBuffer().data();
    const std::size_t got = m_Image.read(buffer, n);
    if (got < n) {
        // The check measured the image; a file that shrank since would send a block short of
        // what the header announced, and the phone would wait for the rest for ever.
        m_Context.send({CMD_FILE_BLOCK});
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
    Exchange exchange = fileSystemExchange(m_LastBlock ? FileSystemState::WAIT_LAST_BLOCK_SUM
                                                       : FileSystemState::WAIT_BLOCK_SUM);
    exchange.send({CMD_FILE_BLOCK})
        .sendBorrowed(block)
        .expectSum8Of(block)
        .failing("checksum mismatched!\r\n")
        .failureDetail(Exchange::Detail::AsLogged);
    if (m_LastBlock)
        exchange.then([this] { awaitFileWritten(); });
    else
        exchange.then([this] { sendBlock(); });
    m_Context.begin(std::move(exchange));
    m_FileBytesSent += n;
    m_Context.countBytes(n);
    m_Context.view().setProgressPos(m_FileBytesSent);
}

void QixFileSender::awaitFileWritten() {
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_FILE_DONE)
                                  .expect(FILE_DONE)
                                  .failing(writingFailed)
                                  .failureDetail(Exchange::Detail::AsLogged)
                                  .then([this] {
                                      m_Context.log("OK!\r\n");
                                      m_Context.setState(
                                          stateNumber(FileSystemState::WAIT_HEADER_SUM));
                                      nextFile();
                                  })));
}

bool QixFileSender::sentWhatWasAnnounced() {
    // A configuration whose walk leaves the end of the image unsent still had it announced:
    // the rest is summed too, so only a changed file can make the two CRCs differ. Bytes
    // appended since the CRC was taken were neither announced nor sent.
    std::uint8_t* buffer = m_Context.transferBuffer().data();
    while (m_SentLength < m_AnnouncedLength) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
            m_Context.transferBuffer().size(), m_AnnouncedLength - m_SentLength));
        const std::size_t n = m_Image.read(buffer, wanted);
        if (n == 0)
            break;
        m_SentCrc = crc32Update(m_SentCrc, buffer, n);
        m_SentLength += n;
    }
    return m_SentCrc == m_AnnouncedCrc && m_SentLength == m_AnnouncedLength;
}

}  // namespace zrk

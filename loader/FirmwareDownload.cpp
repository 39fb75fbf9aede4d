// A download after its start: the write offset, the length, and the image sector by sector.
#include "loader/FirmwareDownload.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/PhaseContext.h"
#include "engine/StartAddress.h"
#include "engine/TextFormat.h"
#include "loader/LoaderExchange.h"
#include "loader/LoaderStates.h"
#include "loader/NorVerify.h"

namespace zrk {

using namespace loader;

FirmwareDownload::FirmwareDownload(PhaseContext& context, NorVerify& verify)
    : m_Context(context), m_Verify(verify) {
    m_Context.holdFiles(*this);
}

void FirmwareDownload::sendWriteOffset() {
    m_Context.log(formatLine("\r\nSend the offset of writing address (0x%08X)... ", m_WriteOffset));
    m_Context.begin(std::move(loaderExchange(LoaderState::WAIT_OFFSET_SUM, "send the write offset")
                                  .sendValue(CMD_WRITE_OFFSET, m_WriteOffset)
                                  .failing("Fail!", Ending::Finish)
                                  .then([this] { sendImageLength(); })));
}

void FirmwareDownload::sendImageLength() {
    m_Context.log("OK!\r\n");
    const bool opened = m_Image.openForReading(m_ImagePath);
    const auto size = opened ? m_Image.size() : std::nullopt;
    if (!size) {
        m_Context.view().messageBox("Fail to open bin file!", MessageIcon::Warning);
        m_Context.reportFailure(FailureCause::File, "Fail to open bin file!");
        m_Context.finishOperation();
        return;
    }
    if (*size != m_CheckedLength) {
        // The CRC the phone holds and the room we checked belong to the old contents.
        m_Context.log(
            "\r\n** The image file changed during the download; nothing was "
            "written. Start the download again.\r\n");
        m_Context.reportFailure(FailureCause::File, "the image file changed");
        m_Context.finishOperation();
        return;
    }
    m_ImageLength = static_cast<std::uint32_t>(*size);
    m_Context.setFirmwareLength(m_ImageLength);
    m_ImageRemaining = m_ImageLength;
    m_SentCrc = 0;
    m_Context.view().setProgressRange(m_ImageLength);
    m_Context.log(formatLine("** Send file length(%d bytes)... ", static_cast<int>(m_ImageLength)));
    m_Context.begin(
        std::move(loaderExchange(LoaderState::WAIT_LENGTH_SUM, "send the image length")
                      .sendValue(CMD_IMAGE_LENGTH, m_ImageLength)
                      .failing("Fail!\r\n", Ending::Finish)
                      .then([this] {
                          m_Context.log("OK!\r\n");
                          m_Context.log("** Start BINARY downloading...\r\n");
                          m_Context.setState(stateNumber(LoaderState::WAIT_BLOCK_ACK));
                          m_Context.log(formatLine("Address 0x%08X... ", NOR_BASE + m_WriteOffset));
                          startSector(m_WriteOffset);
                      })));
}

void FirmwareDownload::startSector(std::uint32_t offset) {
    const SectorMap& map = m_Context.sectorMap();
    const int index = map.indexAtOffset(offset);
    if (index < 0) {
        m_Context.log("Address is not allowed\r\n");
        m_Context.abandon(FailureCause::Refused, "Address is not allowed");
        return;
    }
    std::uint8_t command = CMD_PROGRAM_SMALL;
    m_BlocksPerSector = 4;
    switch (map.sizeClassAt(offset)) {
        case SectorSizeClass::Size64K:
            command = CMD_PROGRAM_64K;
            m_BlocksPerSector = 32;
            break;
        case SectorSizeClass::Size16K:
            command = CMD_PROGRAM_16K;
            m_BlocksPerSector = 8;
            break;
        default:
            break;
    }
    m_SectorIndex = index;
    m_SectorOffset = offset;
    m_BlocksSent = 0;
    const auto at = bigEndian32(offset);
    const std::array<std::uint8_t, 5> program{command, at[0], at[1], at[2], at[3]};
    m_SectorSum = 0;
    sendBlock(program);
}

void FirmwareDownload::sendBlock(std::span<const std::uint8_t> program) {
    std::uint8_t* buffer = m_Context.transferBuffer().data();
    // Never more than the length the phone was told, even if the file has grown since.
    const std::uint32_t wanted = std::min(kBlockSize, m_ImageRemaining);
    const std::size_t n = wanted > 0 ? m_Image.read(buffer, wanted) : 0;
    if (n < wanted) {
        if (!program.empty())
            m_Context.send(program);
        failReading();
        return;
    }
    if (n == 0) {
        m_EndOfImage = true;
        awaitSectorSum(program);
        return;
    }
    if (n < kBlockSize)
        m_EndOfImage = true;
    const std::span<const std::uint8_t> block(buffer, n);
    m_SectorSum = static_cast<std::uint8_t>(m_SectorSum + sum8(block));
    m_ImageRemaining -= static_cast<std::uint32_t>(n);
    m_SentCrc = crc32Update(m_SentCrc, buffer, n);
    Exchange exchange = loaderExchange(LoaderState::WAIT_BLOCK_ACK, "send a block");
    if (!program.empty())
        exchange.send(program);
    // The acknowledgement's value carries nothing; the sector sum checks the data.
    exchange.sendBorrowed(block).expectAnyByte().then([this] { onBlockAck(); });
    m_Context.begin(std::move(exchange));
    m_Context.countBytes(n);
}

void FirmwareDownload::awaitSectorSum(std::span<const std::uint8_t> program) {
    Exchange exchange = loaderExchange(LoaderState::WAIT_SECTOR_SUM, "write a sector");
    if (!program.empty())
        exchange.send(program);
    exchange.expect(m_SectorSum)
        .failing("Fail to download sector!\r\n", Ending::Finish)
        .then([this] { onSectorSum(); });
    m_Context.begin(std::move(exchange));
}

void FirmwareDownload::failReading() {
    // A short read is not the end of the image: sending what we have would be reported as a
    // complete download of a truncated image.
    m_Context.log(
        "\r\n** The image file could not be read to its end; the download is stopped.\r\n");
    m_Context.reportFailure(FailureCause::File, "the image file could not be read to its end");
    m_Context.finishOperation();
}

bool FirmwareDownload::sentWhatWasAnnounced() {
    // Every sector sum matched what was sent, but a file rewritten during the transfer leaves
    // the phone with parts of two images, neither of them the one whose CRC it was given.
    if (m_SentCrc == m_AnnouncedCrc)
        return true;
    const std::string detail = m_ImagePath + ": the image changed while it was being sent";
    m_Context.log("\r\n** " + detail + ". Download it again.\r\n");
    m_Context.reportFailure(FailureCause::File, detail);
    m_Context.finishOperation();
    return false;
}

void FirmwareDownload::onBlockAck() {
    if (m_EndOfImage) {
        awaitSectorSum();
        return;
    }
    if (++m_BlocksSent < m_BlocksPerSector) {
        sendBlock();
        return;
    }
    awaitSectorSum();
    m_WriteOffset = m_SectorOffset + m_Context.sectorMap()[m_SectorIndex].byteSize();
    ++m_SectorIndex;
    if (m_ImageRemaining == 0)
        m_EndOfImage = true;
}

void FirmwareDownload::onSectorSum() {
    // Bytes sent so far: equal to the written sectors' span, and also right when the image ends
    // inside a sector, so the bar reaches its end.
    m_Context.view().setProgressPos(m_ImageLength - m_ImageRemaining);
    if (m_EndOfImage) {
        m_Context.log("OK!\r\n");
        m_Context.setState(IDLE);
        if (sentWhatWasAnnounced())
            endOfFirmwarePart();
        return;
    }
    m_Context.log(formatLine("OK!\r\nAddress 0x%08X... ", NOR_BASE + m_WriteOffset));
    m_Context.setState(stateNumber(LoaderState::WAIT_BLOCK_ACK));
    startSector(m_WriteOffset);
}

void FirmwareDownload::endOfFirmwarePart() {
    m_EndOfImage = false;
    // All of it is on the phone; a verify reads the image afresh.
    m_Image.close();
    const bool verify = m_Context.request().verifyAfterDownload;
    if (m_Context.operationKind() == OP_FIRMWARE_THEN_FILE_SYSTEM) {
        // A firmware that did not verify is no ground for the file system: it is not sent.
        if (verify)
            m_Verify.afterDownload(m_ImagePath, m_StartOffset, m_ImageLength,
                                   [this] { startFileSystemPart(); });
        else
            startFileSystemPart();
        return;
    }
    const std::int64_t span = m_Context.secondsSinceStart();
    m_Context.log(formatElapsed("\r\n** Downloading Time %M:%S **\r\n", span));
    m_Context.log(formatLine("** (Total %d bytes) **\r\n", static_cast<int>(m_ImageLength)));
    if (verify)
        m_Verify.afterDownload(m_ImagePath, m_StartOffset, m_ImageLength,
                               [this] { completeDownload(); });
    else
        completeDownload();
}

void FirmwareDownload::startFileSystemPart() {
    m_Context.log("\r\n** Start Downloading QIX file **\r\n");
    m_Context.view().setProgressPos(0);
    // The timing goes on: the closing time covers both parts.
    m_Context.beginOperation(OP_FILE_SYSTEM);
}

void FirmwareDownload::completeDownload() {
    m_Context.view().messageBox("Download completed!", MessageIcon::Information);
    m_Context.reportCompleted(m_ImageLength);
    m_Context.finishOperation();
    // After a verify, only a phone that holds the image is switched on.
    if (m_Context.request().powerOnAfterDownload) {
        m_Context.send({CMD_POWER_ON});
        m_Context.stop();
    }
}

}  // namespace zrk

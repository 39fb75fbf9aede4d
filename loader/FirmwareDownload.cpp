#include "loader/FirmwareDownload.h"

#include <algorithm>
#include <string>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/PhaseContext.h"
#include "engine/StartAddress.h"
#include "engine/TextFormat.h"
#include "files/FileStatus.h"
#include "loader/LoaderStates.h"
#include "loader/NorVerify.h"

namespace zrk {

using namespace loader;

void FirmwareDownload::press(bool thenFileSystem) {
    DownloaderView& view = m_Context.view();
    const UserChoices& choices = m_Context.request();
    // Judged by its kind before it is opened: opening a FIFO for reading waits for a writer, and
    // a device such as /dev/zero never ends. An empty image would erase sector 0 and succeed.
    const auto status = fileStatus(choices.binPath);
    if (status && (!status->regular() || status->size == 0)) {
        const char* why = status->regular() ? "is empty" : "is not a regular file";
        m_Context.log(
            formatText("\r\n** %s %s; nothing was sent.\r\n", choices.binPath.c_str(), why));
        m_Context.setState(IDLE);
        view.messageBox("Fail to open bin file!", MessageIcon::Warning);
        m_Context.refuse(Operation::Firmware, FailureCause::File,
                         choices.binPath + " " + why + "; nothing was sent");
        return;
    }
    const auto length = fileLength(choices.binPath);
    if (!length) {
        m_Context.setState(IDLE);
        view.messageBox("Fail to open bin file!", MessageIcon::Warning);
        m_Context.refuse(thenFileSystem ? Operation::FirmwareAndFileSystem : Operation::Firmware,
                         FailureCause::File, "Fail to open bin file!");
        return;
    }
    m_ImagePath = choices.binPath;
    view.setFirmwareSizeText(std::to_string(*length));
    if (thenFileSystem) {
        const auto qixLength = fileLength(choices.qixPath);
        if (!qixLength) {
            m_Context.setState(IDLE);
            view.messageBox("Fail to open QIX file!", MessageIcon::Warning);
            m_Context.refuse(Operation::FirmwareAndFileSystem, FailureCause::File,
                             "Fail to open QIX file!");
            return;
        }
        view.setImageSizeText(std::to_string(*qixLength));
    }
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Context.log(thenFileSystem ? "** Start Downloading BINARY and QIX file **\r\n"
                                 : "** Start Downloading BINARY file **\r\n");
    m_WriteOffset = 0;
    m_EndOfImage = false;
    m_Context.imageLength = 0;
    m_Context.startTime = m_Context.clock().nowSeconds();
    m_Context.beginOperation(thenFileSystem ? OP_FIRMWARE_THEN_FILE_SYSTEM : OP_FIRMWARE);
}

bool FirmwareDownload::chooseStartOffset() {
    const UserChoices& choices = m_Context.request();
    if (!choices.useStartNorAddress) {
        m_WriteOffset = 0;
        m_StartOffset = 0;
        m_SectorIndex = 0;
        return true;
    }
    const StartAddressVerdict verdict =
        judgeStartAddress(parseStartAddress(choices.startAddressText), m_Context.sectorMap);
    if (verdict.kind == StartAddressVerdict::Kind::OutOfRange) {
        m_Context.log("\r\n **Not defined Address Error ");
        m_Context.abandon(FailureCause::Refused, "the start address is outside the flash");
        return false;
    }
    m_WriteOffset = verdict.offset;
    m_StartOffset = m_WriteOffset;
    m_Context.log(formatText("\r\n **NOR ADDR changed (0x%08X)... ", m_WriteOffset));
    if (verdict.kind == StartAddressVerdict::Kind::NotSectorBegin) {
        m_Context.log(formatText("\r\n **Not Sector Begin Address(0x%08X)... ", m_WriteOffset));
        m_Context.abandon(FailureCause::Refused, "the start address does not begin a sector");
        return false;
    }
    m_SectorIndex = verdict.sectorIndex;
    m_Context.log(formatText("\r\n **Sector index(%d)... ", m_SectorIndex));
    return true;
}

void FirmwareDownload::onStartReply() {
    if (!chooseStartOffset())
        return;
    const auto crc = fileCrc32(m_ImagePath);
    if (!crc) {
        m_Context.view().messageBox("Fail to open bin file!", MessageIcon::Warning);
        m_Context.abandon(FailureCause::File, "Fail to open bin file!");
        return;
    }
    // An image that runs past the end of the flash would only be refused at the first missing
    // sector, after everything before it was written: the phone would keep a partial image.
    const std::uint64_t flashSize = m_Context.sectorMap.activeBytes();
    const std::uint64_t room = flashSize > m_StartOffset ? flashSize - m_StartOffset : 0;
    if (crc->length > room) {
        m_Context.log(formatText(
            "\r\n** The image (%llu bytes) does not fit the flash: from 0x%08X there are only "
            "%llu bytes. Nothing was written.\r\n",
            static_cast<unsigned long long>(crc->length), NOR_BASE + m_StartOffset,
            static_cast<unsigned long long>(room)));
        m_Context.reportFailure(FailureCause::Refused, "the image does not fit the flash");
        m_Context.finishOperation();
        return;
    }
    m_CheckedLength = crc->length;
    m_AnnouncedCrc = crc->crc;
    m_Context.log(formatText("Sending Binary CheckSum:%x \n", crc->crc));
    m_Context.sendValue(WAIT_IMAGE_CRC_SUM, CMD_IMAGE_CRC, crc->crc);
}

void FirmwareDownload::startSector(std::uint32_t offset) {
    const SectorMap& map = m_Context.sectorMap;
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
    m_Context.send({command, at[0], at[1], at[2], at[3]});
    m_Context.expectedReply = 0;
    sendBlock();
}

void FirmwareDownload::sendBlock() {
    std::uint8_t* buffer = m_Context.TransferBuffer.data();
    // Never more than the length the phone was told, even if the file has grown since.
    const std::uint32_t wanted = std::min(kBlockSize, m_ImageRemaining);
    const std::size_t n = wanted > 0 ? m_Context.firmwareImage.read(buffer, wanted) : 0;
    if (n < wanted) {
        failReading();
        return;
    }
    if (n == 0) {
        m_EndOfImage = true;
        m_Context.setState(WAIT_SECTOR_SUM);
        return;
    }
    if (n < kBlockSize)
        m_EndOfImage = true;
    const std::span<const std::uint8_t> block(buffer, n);
    m_Context.expectedReply = static_cast<std::uint8_t>(m_Context.expectedReply + sum8(block));
    m_ImageRemaining -= static_cast<std::uint32_t>(n);
    m_SentCrc = crc32Update(m_SentCrc, buffer, n);
    m_Context.send(block);
    m_Context.countBytes(n);
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

void FirmwareDownload::step(std::uint8_t byte) {
    switch (m_Context.state()) {
        case WAIT_IMAGE_CRC_SUM: {
            if (!m_Context.replyMatches(byte, formatText("Fail! (checksum reply 0x%02X)\r\n", byte),
                                        PhaseContext::Ending::Abandon,
                                        formatText("checksum reply 0x%02X", byte)))
                return;
            m_Context.log(
                formatText("\r\nSend the offset of writing address (0x%08X)... ", m_WriteOffset));
            m_Context.sendValue(WAIT_OFFSET_SUM, CMD_WRITE_OFFSET, m_WriteOffset);
            return;
        }
        case WAIT_OFFSET_SUM: {
            if (!m_Context.replyMatches(byte, "Fail!", PhaseContext::Ending::Finish))
                return;
            m_Context.log("OK!\r\n");
            OpenFile& image = m_Context.firmwareImage;
            const bool opened = image.openForReading(m_ImagePath);
            const auto size = opened ? image.size() : std::nullopt;
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
            m_Context.imageLength = m_ImageLength;
            m_ImageRemaining = m_ImageLength;
            m_SentCrc = 0;
            m_Context.view().setProgressRange(m_ImageLength);
            m_Context.log(
                formatText("** Send file length(%d bytes)... ", static_cast<int>(m_ImageLength)));
            m_Context.sendValue(WAIT_LENGTH_SUM, CMD_IMAGE_LENGTH, m_ImageLength);
            return;
        }
        case WAIT_LENGTH_SUM:
            if (!m_Context.replyMatches(byte, "Fail!\r\n", PhaseContext::Ending::Finish))
                return;
            m_Context.log("OK!\r\n");
            m_Context.log("** Start BINARY downloading...\r\n");
            m_Context.setState(WAIT_BLOCK_ACK);
            m_Context.log(formatText("Address 0x%08X... ", NOR_BASE + m_WriteOffset));
            startSector(m_WriteOffset);
            return;
        case WAIT_BLOCK_ACK:
            // The acknowledgement's value carries nothing; the sector sum checks the data.
            if (m_EndOfImage) {
                m_Context.setState(WAIT_SECTOR_SUM);
                return;
            }
            if (++m_BlocksSent == m_BlocksPerSector) {
                m_Context.setState(WAIT_SECTOR_SUM);
                m_WriteOffset = m_SectorOffset + m_Context.sectorMap[m_SectorIndex].byteSize();
                ++m_SectorIndex;
                if (m_ImageRemaining == 0)
                    m_EndOfImage = true;
            } else {
                sendBlock();
            }
            return;
        case WAIT_SECTOR_SUM:
            if (!m_Context.replyMatches(byte, "Fail to download sector!\r\n",
                                        PhaseContext::Ending::Finish))
                return;
            // Bytes sent so far: equal to the written sectors' span, and also right when the
            // image ends inside a sector, so the bar reaches its end.
            m_Context.view().setProgressPos(m_ImageLength - m_ImageRemaining);
            if (m_EndOfImage) {
                m_Context.log("OK!\r\n");
                m_Context.setState(IDLE);
                if (!sentWhatWasAnnounced())
                    return;
                endOfFirmwarePart();
                return;
            }
            m_Context.log(formatText("OK!\r\nAddress 0x%08X... ", NOR_BASE + m_WriteOffset));
            m_Context.setState(WAIT_BLOCK_ACK);
            startSector(m_WriteOffset);
            return;
        default:
            return;
    }
}

void FirmwareDownload::endOfFirmwarePart() {
    m_EndOfImage = false;
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
    const std::int64_t span = m_Context.clock().nowSeconds() - m_Context.startTime;
    m_Context.log(formatElapsed("\r\n** Downloading Time %M:%S **\r\n", span));
    m_Context.log(formatText("** (Total %d bytes) **\r\n", static_cast<int>(m_ImageLength)));
    if (verify)
        m_Verify.afterDownload(m_ImagePath, m_StartOffset, m_ImageLength,
                               [this] { completeDownload(); });
    else
        completeDownload();
}

void FirmwareDownload::startFileSystemPart() {
    m_Context.log("\r\n** Start Downloading QIX file **\r\n");
    m_Context.view().setProgressPos(0);
    // startTime stays: the closing time covers both parts.
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

#include "loader/FirmwareDownload.h"

#include <algorithm>
#include <string>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/ProtocolEngine.h"
#include "engine/TextFormat.h"
#include "loader/LoaderStates.h"
#include "loader/StartAddress.h"

namespace zrk {

using namespace loader;

namespace {
constexpr std::uint64_t kAddressLimit = 0x18000000;  // end of the range a start address may name
}

void FirmwareDownload::resetForStart() {
    m_WriteOffset = 0;
    m_EndOfImage = false;
}

void FirmwareDownload::press() {
    DownloaderView& view = m_Engine.view();
    const UserChoices choices = view.choices();
    const auto length = fileLength(choices.binPath);
    if (!length) {
        m_Engine.ProtocolState = IDLE;
        view.messageBox("Fail to open bin file!", MessageIcon::Warning);
        return;
    }
    m_ImagePath = choices.binPath;
    view.setFirmwareSizeText(std::to_string(*length));
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Engine.log("** Start Downloading BINARY file **\r\n");
    m_WriteOffset = 0;
    m_EndOfImage = false;
    m_Engine.startTime = m_Engine.clock().nowSeconds();
    m_Engine.beginOperation(OP_FIRMWARE);
}

bool FirmwareDownload::chooseStartOffset() {
    const UserChoices choices = m_Engine.view().choices();
    if (!choices.useStartNorAddress) {
        m_WriteOffset = 0;
        m_StartOffset = 0;
        m_SectorIndex = 0;
        return true;
    }
    const std::uint64_t address = parseStartAddress(choices.startAddressText);
    if (address < NOR_BASE || address >= kAddressLimit) {
        m_Engine.log("\r\n **Not defined Address Error ");
        m_Engine.abandon();
        return false;
    }
    m_WriteOffset = static_cast<std::uint32_t>(address - NOR_BASE);
    m_StartOffset = m_WriteOffset;
    m_Engine.log(formatText("\r\n **NOR ADDR changed (0x%08X)... ", m_WriteOffset));
    const int index = m_Engine.sectorMap.indexAtOffset(m_WriteOffset);
    if (index < 0) {
        m_Engine.log(formatText("\r\n **Not Sector Begin Address(0x%08X)... ", m_WriteOffset));
        m_Engine.abandon();
        return false;
    }
    m_SectorIndex = index;
    m_Engine.log(formatText("\r\n **Sector index(%d)... ", index));
    return true;
}

void FirmwareDownload::onStartReply() {
    if (!chooseStartOffset())
        return;
    const auto crc = fileCrc32(m_ImagePath);
    if (!crc) {
        m_Engine.view().messageBox("Fail to open bin file!", MessageIcon::Warning);
        m_Engine.abandon();
        return;
    }
    // An image that runs past the end of the flash would only be refused at the first missing
    // sector, after everything before it was written: the phone would keep a partial image.
    const SectorMap& map = m_Engine.sectorMap;
    const std::uint64_t flashSize =
        map.count() > 0
            ? std::uint64_t{map[map.count() - 1].byteOffset()} + map[map.count() - 1].byteSize()
            : 0;
    const std::uint64_t room = flashSize > m_StartOffset ? flashSize - m_StartOffset : 0;
    if (crc->length > room) {
        m_Engine.log(formatText(
            "\r\n** The image (%llu bytes) does not fit the flash: from 0x%08X there are only "
            "%llu bytes. Nothing was written.\r\n",
            static_cast<unsigned long long>(crc->length), NOR_BASE + m_StartOffset,
            static_cast<unsigned long long>(room)));
        m_Engine.finishOperation();
        return;
    }
    m_CheckedLength = crc->length;
    m_Engine.ProtocolState = WAIT_IMAGE_CRC_SUM;
    m_Engine.send({CMD_IMAGE_CRC});
    m_Engine.log(formatText("Sending Binary CheckSum:%x \n", crc->crc));
    const auto bytes = bigEndian32(crc->crc);
    m_Engine.send(bytes);
    m_Engine.expectedReply = sum8(bytes);
}

void FirmwareDownload::startSector(std::uint32_t offset) {
    const SectorMap& map = m_Engine.sectorMap;
    const int index = map.indexAtOffset(offset);
    if (index < 0) {
        m_Engine.log("Address is not allowed\r\n");
        m_Engine.abandon();
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
    m_Engine.send({command, at[0], at[1], at[2], at[3]});
    m_Engine.expectedReply = 0;
    sendBlock();
}

void FirmwareDownload::sendBlock() {
    std::uint8_t* buffer = m_Engine.TransferBuffer.data();
    // Never more than the length the phone was told, even if the file has grown since.
    const std::uint32_t wanted = std::min(kBlockSize, m_ImageRemaining);
    const std::size_t n = wanted > 0 ? m_Engine.firmwareImage.read(buffer, wanted) : 0;
    if (n < wanted) {
        failReading();
        return;
    }
    if (n == 0) {
        m_EndOfImage = true;
        m_Engine.ProtocolState = WAIT_SECTOR_SUM;
        return;
    }
    if (n < kBlockSize)
        m_EndOfImage = true;
    const std::span<const std::uint8_t> block(buffer, n);
    m_Engine.expectedReply = static_cast<std::uint8_t>(m_Engine.expectedReply + sum8(block));
    m_ImageRemaining -= static_cast<std::uint32_t>(n);
    m_Engine.send(block);
}

void FirmwareDownload::failReading() {
    // A short read is not the end of the image: sending what we have would be reported as a
    // complete download of a truncated image.
    m_Engine.log(
        "\r\n** The image file could not be read to its end; the download is stopped.\r\n");
    m_Engine.finishOperation();
}

void FirmwareDownload::step(std::uint8_t byte) {
    switch (m_Engine.ProtocolState) {
        case WAIT_IMAGE_CRC_SUM: {
            if (byte != m_Engine.expectedReply) {
                m_Engine.log(formatText("Fail! (checksum reply 0x%02X)\r\n", byte));
                m_Engine.abandon();
                return;
            }
            m_Engine.ProtocolState = WAIT_OFFSET_SUM;
            m_Engine.send({CMD_WRITE_OFFSET});
            m_Engine.log(
                formatText("\r\nSend the offset of writing address (0x%08X)... ", m_WriteOffset));
            const auto bytes = bigEndian32(m_WriteOffset);
            m_Engine.send(bytes);
            m_Engine.expectedReply = sum8(bytes);
            return;
        }
        case WAIT_OFFSET_SUM: {
            if (byte != m_Engine.expectedReply) {
                m_Engine.log("Fail!");
                m_Engine.finishOperation();
                return;
            }
            m_Engine.log("OK!\r\n");
            OpenFile& image = m_Engine.firmwareImage;
            const bool opened = image.openForReading(m_ImagePath);
            const auto size = opened ? image.size() : std::nullopt;
            if (!size) {
                m_Engine.view().messageBox("Fail to open bin file!", MessageIcon::Warning);
                m_Engine.finishOperation();
                return;
            }
            if (*size != m_CheckedLength) {
                // The CRC the phone holds and the room we checked belong to the old contents.
                m_Engine.log(
                    "\r\n** The image file changed during the download; nothing was "
                    "written. Start the download again.\r\n");
                m_Engine.finishOperation();
                return;
            }
            m_ImageLength = static_cast<std::uint32_t>(*size);
            m_ImageRemaining = m_ImageLength;
            m_Engine.view().setProgressRange(m_ImageLength);
            m_Engine.ProtocolState = WAIT_LENGTH_SUM;
            m_Engine.send({CMD_IMAGE_LENGTH});
            m_Engine.log(
                formatText("** Send file length(%d bytes)... ", static_cast<int>(m_ImageLength)));
            const auto bytes = bigEndian32(m_ImageLength);
            m_Engine.send(bytes);
            m_Engine.expectedReply = sum8(bytes);
            return;
        }
        case WAIT_LENGTH_SUM:
            if (byte != m_Engine.expectedReply) {
                m_Engine.log("Fail!\r\n");
                m_Engine.finishOperation();
                return;
            }
            m_Engine.log("OK!\r\n");
            m_Engine.log("** Start BINARY downloading...\r\n");
            m_Engine.ProtocolState = WAIT_BLOCK_ACK;
            m_Engine.log(formatText("Address 0x%08X... ", NOR_BASE + m_WriteOffset));
            startSector(m_WriteOffset);
            return;
        case WAIT_BLOCK_ACK:
            // The acknowledgement's value carries nothing; the sector sum checks the data.
            if (m_EndOfImage) {
                m_Engine.ProtocolState = WAIT_SECTOR_SUM;
                return;
            }
            if (++m_BlocksSent == m_BlocksPerSector) {
                m_Engine.ProtocolState = WAIT_SECTOR_SUM;
                m_WriteOffset = m_SectorOffset + m_Engine.sectorMap[m_SectorIndex].byteSize();
                ++m_SectorIndex;
                if (m_ImageRemaining == 0)
                    m_EndOfImage = true;
            } else {
                sendBlock();
            }
            return;
        case WAIT_SECTOR_SUM:
            if (byte != m_Engine.expectedReply) {
                m_Engine.log("Fail to download sector!\r\n");
                m_Engine.finishOperation();
                return;
            }
            // Bytes sent so far: equal to the written sectors' span, and also right when the
            // image ends inside a sector, so the bar reaches its end.
            m_Engine.view().setProgressPos(m_ImageLength - m_ImageRemaining);
            if (m_EndOfImage) {
                m_Engine.log("OK!\r\n");
                m_Engine.ProtocolState = IDLE;
                endOfFirmwarePart();
                return;
            }
            m_Engine.log(formatText("OK!\r\nAddress 0x%08X... ", NOR_BASE + m_WriteOffset));
            m_Engine.ProtocolState = WAIT_BLOCK_ACK;
            startSector(m_WriteOffset);
            return;
        default:
            return;
    }
}

void FirmwareDownload::endOfFirmwarePart() {
    m_EndOfImage = false;
    if (m_Engine.OperationKind == OP_FIRMWARE_THEN_FILE_SYSTEM) {
        m_Engine.log("\r\n** Start Downloading QIX file **\r\n");
        m_Engine.view().setProgressPos(0);
        // startTime stays: the closing time covers both parts.
        m_Engine.beginOperation(OP_FILE_SYSTEM);
        return;
    }
    const std::int64_t span = m_Engine.clock().nowSeconds() - m_Engine.startTime;
    m_Engine.log(formatElapsed("\r\n** Downloading Time %M:%S **\r\n", span));
    m_Engine.log(formatText("** (Total %d bytes) **\r\n", static_cast<int>(m_ImageLength)));
    m_Engine.view().messageBox("Download completed!", MessageIcon::Information);
    m_Engine.finishOperation();
    if (m_Engine.view().choices().powerOnAfterDownload) {
        m_Engine.send({CMD_POWER_ON});
        m_Engine.stop();
    }
}

}  // namespace zrk

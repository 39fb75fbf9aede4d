// The start of a download: the image judged before anything is sent, the start offset chosen,
// and the image's CRC announced.
#include <string>
#include <utility>

#include "loader/FirmwareDownload.h"

#include "engine/Checksums.h"
#include "engine/PhaseContext.h"
#include "engine/StartAddress.h"
#include "engine/TextFormat.h"
#include "files/FileStatus.h"
#include "loader/LoaderExchange.h"
#include "loader/LoaderStates.h"

namespace zrk {

using namespace loader;

namespace {

std::string checksumReplyWords(std::uint8_t byte) {
    return formatText("Fail! (checksum reply 0x%02X)\r\n", byte);
}

std::string checksumReplyDetail(std::uint8_t byte) {
    return formatText("checksum reply 0x%02X", byte);
}

}  // namespace

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
    view.heard(FirmwareSized{*length});
    if (thenFileSystem) {
        const auto qixLength = fileLength(choices.qixPath);
        if (!qixLength) {
            m_Context.setState(IDLE);
            view.messageBox("Fail to open QIX file!", MessageIcon::Warning);
            m_Context.refuse(Operation::FirmwareAndFileSystem, FailureCause::File,
                             "Fail to open QIX file!");
            return;
        }
        view.heard(ImageSized{*qixLength});
    }
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Context.log(thenFileSystem ? "** Start Downloading BINARY and QIX file **\r\n"
                                 : "** Start Downloading BINARY file **\r\n");
    m_WriteOffset = 0;
    m_EndOfImage = false;
    m_Context.startTiming();
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
        judgeStartAddress(parseStartAddress(choices.startAddressText), m_Context.sectorMap());
    if (verdict.kind == StartAddressVerdict::Kind::OutOfRange) {
        m_Context.log("\r\n **Not defined Address Error ");
        m_Context.abandon(FailureCause::Refused, "the start address is outside the flash");
        return false;
    }
    m_WriteOffset = verdict.offset;
    m_StartOffset = m_WriteOffset;
    m_Context.log(formatLine("\r\n **NOR ADDR changed (0x%08X)... ", m_WriteOffset));
    if (verdict.kind == StartAddressVerdict::Kind::NotSectorBegin) {
        m_Context.log(formatLine("\r\n **Not Sector Begin Address(0x%08X)... ", m_WriteOffset));
        m_Context.abandon(FailureCause::Refused, "the start address does not begin a sector");
        return false;
    }
    m_SectorIndex = verdict.sectorIndex;
    m_Context.log(formatLine("\r\n **Sector index(%d)... ", m_SectorIndex));
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
    const std::uint64_t flashSize = m_Context.sectorMap().activeBytes();
    const std::uint64_t room = flashSize > m_StartOffset ? flashSize - m_StartOffset : 0;
    if (crc->length > room) {
        m_Context.log(formatLine(
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
    m_Context.log(formatLine("Sending Binary CheckSum:%x \n", crc->crc));
    m_Context.begin(std::move(loaderExchange(LoaderState::WAIT_IMAGE_CRC_SUM, "send the image CRC")
                                  .sendValue(CMD_IMAGE_CRC, crc->crc)
                                  .failing(checksumReplyWords)
                                  .failureDetail(checksumReplyDetail)
                                  .then([this] { sendWriteOffset(); })));
}

}  // namespace zrk

#include "loader/NorVerify.h"

#include <algorithm>
#include <utility>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/PhaseContext.h"
#include "engine/StartAddress.h"
#include "engine/TextFormat.h"
#include "files/FileStatus.h"
#include "loader/LoaderExchange.h"
#include "loader/LoaderStates.h"

namespace zrk {

using namespace loader;

NorVerify::NorVerify(PhaseContext& context) : m_Context(context) {
    m_Context.holdFiles(*this);
}

void NorVerify::press() {
    DownloaderView& view = m_Context.view();
    const UserChoices& choices = m_Context.request();
    const auto status = fileStatus(choices.binPath);
    const bool regular = status && status->regular();
    const auto length = regular ? fileLength(choices.binPath) : std::nullopt;
    if (!length || *length == 0) {
        const std::string why = !regular  ? "is not a readable regular file"
                                : !length ? "cannot be read"
                                          : "is empty";
        m_Context.log(formatLine("\r\n** %s %s; nothing was read.\r\n", choices.binPath.c_str(),
                                 why.c_str()));
        view.messageBox("Fail to open bin file!", MessageIcon::Warning);
        m_Context.refuse(Operation::FirmwareVerify, FailureCause::File,
                         choices.binPath + " " + why);
        return;
    }
    std::uint32_t start = 0;
    if (choices.useStartNorAddress) {
        const StartAddressVerdict verdict =
            judgeStartAddress(parseStartAddress(choices.startAddressText), m_Context.sectorMap());
        if (verdict.kind != StartAddressVerdict::Kind::Accepted) {
            m_Context.log(
                "\r\n** The start address is not the start of a sector of the flash; "
                "nothing was read.\r\n");
            m_Context.refuse(Operation::FirmwareVerify, FailureCause::Refused,
                             "the start address does not begin a sector of the flash");
            return;
        }
        start = verdict.offset;
    }
    const std::uint64_t flash = m_Context.sectorMap().activeBytes();
    if (start + *length > flash) {
        m_Context.log(formatLine(
            "\r\n** The image (%llu bytes) does not fit the flash from 0x%08X; nothing was "
            "read.\r\n",
            static_cast<unsigned long long>(*length), NOR_BASE + start));
        m_Context.refuse(Operation::FirmwareVerify, FailureCause::Refused,
                         "the image does not fit the flash");
        return;
    }
    m_AfterDownload = false;
    m_OnGood = nullptr;
    m_ImagePath = choices.binPath;
    m_StartOffset = start;
    m_Length = static_cast<std::uint32_t>(*length);
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Context.log("** Verifying NOR-Flash **\r\n\r\n");
    m_Started = m_Context.clock().nowSeconds();
    m_Context.beginOperation(OP_VERIFY_FIRMWARE);
}

void NorVerify::afterDownload(const std::string& imagePath, std::uint32_t startOffset,
                              std::uint32_t length, std::function<void()> onGood) {
    m_AfterDownload = true;
    m_OnGood = std::move(onGood);
    m_ImagePath = imagePath;
    m_StartOffset = startOffset;
    m_Length = length;
    m_Context.view().setProgressPos(0);
    m_Context.log("\r\n** Verifying NOR-Flash **\r\n");
    m_Started = m_Context.clock().nowSeconds();
    // The read-back is an operation of its own on the wire: it opens with the start command,
    // as the dump does.
    m_Context.beginOperation(OP_VERIFY_FIRMWARE);
}

void NorVerify::onStartReply() {
    const bool opened = m_Image.openForReading(m_ImagePath);
    const auto size = opened ? m_Image.size() : std::nullopt;
    if (!size || *size != m_Length) {
        // Compared with other contents, a match would prove nothing about what was sent.
        fail(FailureCause::File,
             formatText("\r\n** The image file %s %s; nothing was compared.\r\n",
                        m_ImagePath.c_str(), size ? "changed" : "cannot be read"),
             "the image file " + m_ImagePath + (size ? " changed" : " cannot be read"));
        return;
    }
    m_Done = 0;
    m_Crc = 0;
    m_Sectors = 1;
    m_SectorIndex = m_Context.sectorMap().indexAtOffset(m_StartOffset);
    m_Context.view().setProgressRange(m_Length);
    m_Context.setState(stateNumber(LoaderState::WAIT_VERIFY_BLOCK));
    logSector();
    requestBlock();
}

void NorVerify::logSector() {
    const SectorRecord& sector = m_Context.sectorMap()[m_SectorIndex];
    m_Context.log(formatLine("Verifying sector (0x%08X)... ", NOR_BASE + sector.byteOffset()));
}

void NorVerify::requestBlock() {
    m_Context.requestFrame(kDumpFrameSize);
    const auto at = bigEndian32(m_StartOffset + m_Done);
    // The block and its sum come as one frame, to blockStep.
    m_Context.begin(std::move(loaderExchange(LoaderState::WAIT_VERIFY_BLOCK, "read a block back")
                                  .send({CMD_DUMP_BLOCK, at[0], at[1], at[2], at[3]})
                                  .expectNothingYet()));
}

void NorVerify::logTime() {
    m_Context.log(
        formatElapsed("Verify time %M:%S\r\n", m_Context.clock().nowSeconds() - m_Started));
}

void NorVerify::fail(FailureCause cause, const std::string& logText, const std::string& detail) {
    m_Context.log(logText);
    logTime();
    m_Context.setState(IDLE);
    m_Context.view().messageBox("Verify failed!", MessageIcon::Error);
    m_Context.reportFailure(cause, detail);
    m_Context.finishOperation();
}

void NorVerify::blockStep(const std::uint8_t* block, std::uint8_t checksum) {
    const std::uint32_t at = m_StartOffset + m_Done;
    if (sum8(block, kDumpBlockSize) != checksum) {
        m_Context.log("Fail!\r\n");
        fail(FailureCause::PhoneReply,
             formatText("\r\n** The block at 0x%08X came back with a wrong checksum; the "
                        "verify is stopped.\r\n",
                        NOR_BASE + at),
             "a block read back came with a wrong checksum");
        return;
    }
    const std::uint32_t n = std::min<std::uint32_t>(kDumpBlockSize, m_Length - m_Done);
    std::uint8_t* expected = m_Context.transferBuffer().data();
    if (m_Image.read(expected, n) != n) {
        m_Context.log("Fail!\r\n");
        fail(FailureCause::File,
             "\r\n** The image file could not be read to its end; the verify is stopped.\r\n",
             "the image file could not be read to its end");
        return;
    }
    const auto differs = std::mismatch(expected, expected + n, block);
    if (differs.first != expected + n) {
        const std::uint32_t offset = at + static_cast<std::uint32_t>(differs.first - expected);
        // The block may lie in a later sector than the one whose line is open.
        while (m_SectorIndex + 1 < m_Context.sectorMap().count() &&
               m_Context.sectorMap()[m_SectorIndex + 1].byteOffset() <= offset)
            ++m_SectorIndex;
        const std::string line =
            formatText("Verify FAILED at 0x%08X (sector %d): expected %02X, read %02X",
                       NOR_BASE + offset, m_SectorIndex, *differs.first, *differs.second);
        m_Context.log("Fail!\r\n");
        fail(FailureCause::Verify, line + "\r\n", line);
        return;
    }
    m_Crc = crc32Update(m_Crc, block, n);
    m_Done += n;
    m_Context.view().setProgressPos(m_Done);
    const SectorRecord& sector = m_Context.sectorMap()[m_SectorIndex];
    const std::uint32_t next = m_StartOffset + m_Done;
    const bool sectorDone = next >= sector.byteOffset() + sector.byteSize();
    if (sectorDone || m_Done == m_Length)
        m_Context.log("OK!\r\n");
    if (m_Done < m_Length) {
        if (sectorDone) {
            ++m_SectorIndex;
            ++m_Sectors;
            logSector();
        }
        requestBlock();
        return;
    }
    m_Context.log(formatLine("Verify OK: %u bytes in %d sectors, CRC-32 %08X\r\n", m_Length,
                             m_Sectors, m_Crc));
    logTime();
    m_Context.setState(IDLE);
    m_Image.close();
    if (m_AfterDownload && m_OnGood) {
        m_OnGood();
        return;
    }
    m_Context.view().messageBox("Verify completed!", MessageIcon::Information);
    m_Context.reportCompleted(m_Length);
    m_Context.finishOperation();
}

}  // namespace zrk

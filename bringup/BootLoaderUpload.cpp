#include "bringup/BootLoaderUpload.h"

#include <algorithm>
#include <cstring>

#include "bringup/BringUp.h"
#include "bringup/BringUpStates.h"
#include "engine/Checksums.h"
#include "engine/OperationFrame.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"

namespace zrk {

using namespace bringup;

void BootLoaderUpload::reset() {
    m_BootOffset = 0;
    m_BootRemaining = 0;
    m_ProgressCount = 0;
}

void BootLoaderUpload::begin() {
    const auto size = static_cast<std::uint32_t>(m_BringUp.targetData().bootLoader.size());
    m_Context.log(formatText("Downloading the Boot-Loader (%d bytes)... ", static_cast<int>(size)));
    m_Context.view().setProgressRange(size);
    m_ProgressCount = 0;
    m_Context.view().setProgressPos(0);
    m_Context.sendValue(WAIT_SIZE_SUM, CMD_IMAGE_LENGTH, size);
}

void BootLoaderUpload::sendNextChunk() {
    const auto image = m_BringUp.targetData().bootLoader;
    const std::uint32_t n = std::min(kChunkSize, m_BootRemaining);
    // The chunk that empties the image is the last one, even when it is a full 2048 bytes: the
    // pre-loader knows the size and jumps after it, so waiting for one more would hang.
    const bool last = n == m_BootRemaining;
    if (n > 0)
        std::memcpy(m_Context.TransferBuffer.data(), image.data() + m_BootOffset, n);
    m_BootOffset += n;
    m_BootRemaining -= n;
    m_ProgressCount += n;
    m_Context.view().setProgressPos(m_ProgressCount);
    if (last) {
        m_Context.setState(WAIT_LAST_CHUNK_SUM);
        m_BootOffset = 0;
    } else {
        m_Context.setState(WAIT_CHUNK_SUM);
    }
    const std::span<const std::uint8_t> chunk(m_Context.TransferBuffer.data(), n);
    if (n > 0)
        m_Context.send(chunk);
    m_Context.expectedReply = sum8(chunk);
}

void BootLoaderUpload::step(std::uint8_t byte) {
    switch (m_Context.state()) {
        case WAIT_SIZE_SUM:
            if (byte != m_Context.expectedReply) {
                m_BringUp.failWith(byte, m_Context.expectedReply,
                                   "Fail in sending the file size!\r\n");
                return;
            }
            m_BootOffset = 0;
            m_BootRemaining = static_cast<std::uint32_t>(m_BringUp.targetData().bootLoader.size());
            m_Context.setState(WAIT_DMA_ACK);
            m_Context.send({CMD_CONFIGURE_DMA});
            return;
        case WAIT_DMA_ACK:
            if (byte != CMD_CONFIGURE_DMA) {
                m_BringUp.failWith(byte, CMD_CONFIGURE_DMA, "Fail to configure DMA\r\n");
                return;
            }
            sendNextChunk();
            return;
        case WAIT_CHUNK_SUM:
            if (byte != m_Context.expectedReply) {
                m_BringUp.failWith(
                    byte, m_Context.expectedReply,
                    formatText("checksum mismatched from Pre-Loader (0x%X)\r\n", byte));
                return;
            }
            m_Context.setState(WAIT_DMA_ACK);
            m_Context.send({CMD_CONFIGURE_DMA});
            return;
        case WAIT_LAST_CHUNK_SUM:
            if (byte != m_Context.expectedReply) {
                m_BringUp.failWith(
                    byte, m_Context.expectedReply,
                    formatText("checksum mismatched from Pre-Loader (0x%X)\r\n", byte));
                return;
            }
            m_Context.log("OK!\r\n\r\n");
            m_Context.log("Jump to Boot-Loader (RAM:0x18000000)... ");
            m_Context.setState(WAIT_LOADER_READY);
            m_Context.send({CMD_JUMP_LOADER});
            return;
        case WAIT_LOADER_READY: {
            if (byte != LOADER_READY) {
                m_BringUp.failWith(byte, LOADER_READY,
                                   formatText("Bad response from Boot-Loader (0x%X)\r\n", byte));
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.log(formatText("Sending the base address of CS0 (0x%08X)... ", CS0_BASE));
            m_Context.sendValue(WAIT_BASE_SUM, CMD_SET_CS0_BASE, CS0_BASE);
            return;
        }
        case WAIT_BASE_SUM:
            if (byte != m_Context.expectedReply) {
                m_BringUp.failWith(byte, m_Context.expectedReply, "Fail!\r\n");
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.setState(READ_FLASH_ID);
            m_BringUp.identification().reset();
            m_Context.send({CMD_READ_FLASH_ID});
            m_Context.log("Checking FLASH ID... ");
            return;
        default:
            return;
    }
}

}  // namespace zrk

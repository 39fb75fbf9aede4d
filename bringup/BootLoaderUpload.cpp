#include "bringup/BootLoaderUpload.h"

#include <algorithm>

#include "bringup/BringUp.h"
#include "bringup/BringUpExchange.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"

namespace zrk {

using namespace bringup;

namespace {

std::string checksumMismatched(std::uint8_t byte) {
    return formatText("checksum mismatched from Pre-Loader (0x%X)\r\n", byte);
}

}  // namespace

void BootLoaderUpload::reset() {
    m_BootOffset = 0;
    m_BootRemaining = 0;
    m_ProgressCount = 0;
}

void BootLoaderUpload::begin() {
    const auto size = static_cast<std::uint32_t>(m_BringUp.targetData().bootLoader.size());
    m_Context.log(formatLine("Downloading the Boot-Loader (%d bytes)... ", static_cast<int>(size)));
    m_Context.view().setProgressRange(size);
    m_ProgressCount = 0;
    m_Context.view().setProgressPos(0);
    m_Context.begin(bringUpExchange(BringUpState::WAIT_SIZE_SUM, "send the boot-loader's size")
                        .sendValue(CMD_IMAGE_LENGTH, size)
                        .failing("Fail in sending the file size!\r\n")
                        .then([this, size] {
                            m_BootOffset = 0;
                            m_BootRemaining = size;
                            setUpChunk();
                        }));
}

void BootLoaderUpload::setUpChunk() {
    m_Context.begin(bringUpExchange(BringUpState::WAIT_DMA_ACK, "set up a boot-loader chunk")
                        .send({CMD_CONFIGURE_DMA})
                        .expect(CMD_CONFIGURE_DMA)
                        .failing("Fail to configure DMA\r\n")
                        .then([this] { sendNextChunk(); }));
}

void BootLoaderUpload::sendNextChunk() {
    const auto image = m_BringUp.targetData().bootLoader;
    const std::uint32_t n = std::min(kChunkSize, m_BootRemaining);
    // The chunk that empties the image is the last one, even when it is a full 2048 bytes: the
    // pre-loader knows the size and jumps after it, so waiting for one more would hang.
    const bool last = n == m_BootRemaining;
    const auto chunk = image.subspan(m_BootOffset, n);
    m_BootOffset = last ? 0 : m_BootOffset + n;
    m_BootRemaining -= n;
    m_ProgressCount += n;
    m_Context.view().setProgressPos(m_ProgressCount);
    Exchange exchange =
        last ? bringUpExchange(BringUpState::WAIT_LAST_CHUNK_SUM,
                               "send the boot-loader's last chunk")
             : bringUpExchange(BringUpState::WAIT_CHUNK_SUM, "send a boot-loader chunk");
    if (n > 0)
        exchange.send(chunk);
    exchange.expectSum8Of(chunk).failing(checksumMismatched).then([this, last] {
        if (last)
            jumpToLoader();
        else
            setUpChunk();
    });
    m_Context.begin(std::move(exchange));
}

void BootLoaderUpload::jumpToLoader() {
    m_Context.log("OK!\r\n\r\n");
    m_Context.log("Jump to Boot-Loader (RAM:0x18000000)... ");
    m_Context.begin(bringUpExchange(BringUpState::WAIT_LOADER_READY, "start the boot-loader")
                        .send({CMD_JUMP_LOADER})
                        .expect(LOADER_READY)
                        .failing([](std::uint8_t byte) {
                            return formatText("Bad response from Boot-Loader (0x%X)\r\n", byte);
                        })
                        .then([this] { setFlashBase(); }));
}

void BootLoaderUpload::setFlashBase() {
    m_Context.log("OK!\r\n");
    m_Context.log(formatLine("Sending the base address of CS0 (0x%08X)... ", CS0_BASE));
    m_Context.begin(bringUpExchange(BringUpState::WAIT_BASE_SUM, "set the flash base")
                        .sendValue(CMD_SET_CS0_BASE, CS0_BASE)
                        .failing("Fail!\r\n")
                        .then([this] {
                            m_Context.log("OK!\r\n");
                            m_BringUp.identification().begin();
                        }));
}

}  // namespace zrk

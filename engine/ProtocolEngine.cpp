#include "engine/ProtocolEngine.h"

#include <algorithm>

#include "bringup/BringUp.h"
#include "loader/LoaderPhase.h"
#include "loader/LoaderStates.h"
#include "serial/SerialLink.h"

namespace zrk {

ProtocolEngine::ProtocolEngine(SerialLink& link, DownloaderView& view, Clock& clock)
    : sectorSelected(SectorMap::kSectorCount, 0),
      m_Link(link),
      m_View(view),
      m_Clock(clock),
      m_BringUp(std::make_unique<BringUp>(*this)),
      m_LoaderPhase(std::make_unique<LoaderPhase>(*this)) {}

ProtocolEngine::~ProtocolEngine() {
    if (m_BaudTimerRunning)
        m_View.stopBaudTimer();
    // Closing the window ends the program at once: the port closes, nothing more is sent.
    if (m_Link.isConnected())
        m_Link.close();
}

void ProtocolEngine::start() {
    m_BringUp->start();
}
void ProtocolEngine::download() {
    m_LoaderPhase->download();
}
void ProtocolEngine::erase() {
    m_LoaderPhase->erase();
}
void ProtocolEngine::dump() {
    m_LoaderPhase->dump();
}

void ProtocolEngine::onBaudTimer() {
    m_BaudTimerRunning = false;
    m_BringUp->onBaudTimer();
}

void ProtocolEngine::startBaudTimer(int milliseconds) {
    m_BaudTimerRunning = true;
    m_View.startBaudTimer(milliseconds);
}

bool ProtocolEngine::takeDumpBlockIfComplete() {
    ReceiveQueue& queue = m_Link.receiveQueue();
    // The block is taken only when it is all there; a partial one waits for the watcher's
    // next notification instead of being read as garbage.
    if (queue.count() < static_cast<int>(kTransferBufferSize) + 1)
        return false;
    m_Link.setBlockMode(false);
    queue.popBlock(TransferBuffer.data(), kTransferBufferSize);
    std::uint8_t checksum = 0;
    queue.pop(checksum);
    m_LoaderPhase->dumpBlockStep(TransferBuffer.data(), checksum);
    return true;
}

void ProtocolEngine::onDataReceived() {
    if (LoaderReady && ProtocolState == loader::WAIT_DUMP_BLOCK) {
        takeDumpBlockIfComplete();
        return;
    }
    ReceiveQueue& queue = m_Link.receiveQueue();
    // Only the bytes that were queued when the notification was taken: a step may send a
    // request whose reply arrives while we are still here, and that reply belongs to the
    // state the step set (a dump block above all), not to this drain. The watcher posts again
    // for whatever arrives later.
    // Taken in small blocks rather than byte by byte: each pop publishes the queue's tail to
    // the watcher's core, and a block of it costs what one byte does.
    std::size_t pending = static_cast<std::size_t>(queue.count());
    std::uint8_t bytes[256];
    while (pending > 0) {
        const std::size_t n = queue.popBlock(bytes, std::min(pending, sizeof bytes));
        if (n == 0)
            break;
        pending -= n;
        for (std::size_t i = 0; i < n; ++i) {
            if (!LoaderReady) {
                m_BringUp->step(bytes[i]);
            } else {
                m_LoaderPhase->step(bytes[i]);
            }
        }
    }
    if (LoaderReady && ProtocolState == loader::WAIT_DUMP_BLOCK)
        takeDumpBlockIfComplete();
}

void ProtocolEngine::onLinkLost(const std::string& reason) {
    log("\r\n** Lost the connection to the phone (" + reason + ")\r\n");
    stop();
}

void ProtocolEngine::send(std::span<const std::uint8_t> bytes) {
    m_Link.write(bytes.data(), bytes.size());
}

void ProtocolEngine::send(std::initializer_list<std::uint8_t> bytes) {
    m_Link.write(bytes.begin(), bytes.size());
}

void ProtocolEngine::log(const std::string& text) {
    m_View.appendLog(text);
}

void ProtocolEngine::beginOperation(std::int32_t kind) {
    OperationKind = kind;
    ProtocolState = loader::WAIT_START_REPLY;
    send({loader::CMD_START});
    m_View.lockControls();
}

void ProtocolEngine::finishOperation() {
    ProtocolState = IDLE;
    firmwareImage.close();
    fileSystemImage.close();
    dumpFile.close();
    m_View.finishOperation();
}

void ProtocolEngine::stop() {
    // Stop also ends a baud switch that is still retrying to reopen the port; the port is
    // closed then, but the link is not over until the timer is.
    const bool switching = m_BaudTimerRunning;
    if (switching) {
        m_View.stopBaudTimer();
        m_BaudTimerRunning = false;
    }
    if (!m_Link.isConnected() && !switching)
        return;
    m_Link.close();
    m_Link.setBlockMode(false);
    firmwareImage.close();
    fileSystemImage.close();
    dumpFile.close();
    m_View.setFlashName("");
    LoaderReady = 0;
    ProtocolState = INITIAL;
    log("\r\n** Close COM port\r\n");
    m_View.setProgressPos(0);
    ProtocolState = IDLE;
    m_View.showStopped();
}

}  // namespace zrk

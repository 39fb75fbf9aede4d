#include "protocol/ProtocolEngine.h"

#include <algorithm>

#include "bringup/BringUp.h"
#include "engine/Phase.h"
#include "filesystem/FileSystemPhase.h"
#include "filesystem/QixPreflight.h"
#include "loader/LoaderPhase.h"
#include "serial/SerialLink.h"

namespace zrk {

ProtocolEngine::ProtocolEngine(SerialLink& link, DownloaderView& view, Clock& clock)
    : m_Link(link),
      m_View(view),
      m_Context(link, view, clock),
      m_BringUp(std::make_unique<BringUp>(m_Context)),
      m_LoaderPhase(std::make_unique<LoaderPhase>(m_Context)),
      m_FileSystemPhase(std::make_unique<FileSystemPhase>(m_Context)),
      m_Pump(link, *this, ReplyPump::EarlyBytes::Dropped) {
    // The download after identification runs on what START was given: the choices it would
    // take were locked with the bring-up.
    m_Context.setDownloadButton([this] {
        const UserChoices request = m_Context.request();
        download(request);
    });
    m_Context.enterPhase(*m_BringUp);
    m_Link.pushHandler(*this);
}

ProtocolEngine::~ProtocolEngine() {
    if (m_Context.baudTimerRunning())
        m_View.stopBaudTimer();
    // Closing the window ends the program at once: the port closes, nothing more is sent.
    if (m_Link.isConnected())
        m_Link.close();
    m_Link.popHandler(*this);
}

void ProtocolEngine::start(const UserChoices& request) {
    takeRequest(request);
    m_BringUp->start();
}

void ProtocolEngine::takeRequest(const UserChoices& request) {
    // An operation under way keeps the request it started with; a press meanwhile is refused
    // by its phase.
    if (!m_Context.tracking())
        m_Context.takeRequest(request);
}

bool ProtocolEngine::codePageUsable(Operation operation) {
    // Before the phone is asked for anything: a .cfg name that does not convert would stop the
    // file-system part half-way.
    return m_Context.readyForOperation() && qixNamesUsable(m_Context, operation);
}

void ProtocolEngine::download(const UserChoices& request) {
    takeRequest(request);
    const DownloadMode mode = request.downloadMode;
    if (mode != DownloadMode::ModeBin &&
        !codePageUsable(mode == DownloadMode::ModeQix ? Operation::FileSystem
                                                      : Operation::FirmwareAndFileSystem))
        return;
    switch (mode) {
        case DownloadMode::ModeBin:
            m_LoaderPhase->downloadFirmware(false);
            break;
        case DownloadMode::ModeQix:
            m_FileSystemPhase->download();
            break;
        case DownloadMode::ModeBinAndQix:
            // The firmware part hands over to the file-system phase through the operation
            // frame when it is done.
            m_LoaderPhase->downloadFirmware(true);
            break;
    }
}

void ProtocolEngine::verify(const UserChoices& request) {
    takeRequest(request);
    const DownloadMode mode = request.downloadMode;
    if (mode == DownloadMode::ModeBin) {
        m_LoaderPhase->verify();
        return;
    }
    if (codePageUsable(Operation::FileSystemVerify))
        m_FileSystemPhase->verify();
}

void ProtocolEngine::format(const UserChoices& request) {
    takeRequest(request);
    m_FileSystemPhase->format();
}

void ProtocolEngine::status(const UserChoices& request) {
    takeRequest(request);
    m_FileSystemPhase->status();
}

void ProtocolEngine::erase(const UserChoices& request) {
    takeRequest(request);
    m_LoaderPhase->erase();
}

void ProtocolEngine::dump(const UserChoices& request) {
    takeRequest(request);
    m_LoaderPhase->dump();
}

WaitingLine::Verdict ProtocolEngine::waitingLineVerdict() const {
    return m_BringUp->handshake().waitingLine().verdict();
}

std::optional<FormatAndStatus::StatusRecord> ProtocolEngine::statusRecord() const {
    return m_FileSystemPhase->statusRecord();
}

void ProtocolEngine::imageUnreadable() {
    m_Context.setState(IDLE);
}

void ProtocolEngine::stop() {
    m_Context.stop();
}

void ProtocolEngine::onBaudTimer() {
    m_Context.baudTimerFired();
    // Long after the baud switch, the file-system verify's explorer borrows the timer.
    if (m_FileSystemPhase->onTimer())
        return;
    m_BringUp->onBaudTimer();
}

void ProtocolEngine::onLinkLost(const std::string& reason) {
    m_Context.onLinkLost(reason);
}

bool ProtocolEngine::takeByte(std::uint8_t byte) {
    Phase* phase = m_Context.currentPhase();
    if (!phase)
        return false;
    const auto before = m_Context.stepMark();
    phase->step(byte);
    return !(m_Context.stepMark() == before);
}

void ProtocolEngine::takeFrame(std::span<const std::uint8_t> frame) {
    m_Context.cancelFrame();  // the phase asks again for the next one
    if (Phase* phase = m_Context.currentPhase())
        phase->frame(frame);
}

void ProtocolEngine::onDataReceived() {
    // Once a phase waits for a frame, what was queued before its request is not part of it.
    m_Pump.drain();
}

}  // namespace zrk

#include "engine/PhaseContext.h"

#include <algorithm>

#include "engine/OperationFrame.h"
#include "engine/Phase.h"
#include "engine/SafeText.h"
#include "engine/StoppedLine.h"
#include "serial/SerialLink.h"

namespace zrk {

namespace {

Operation operationFor(std::int32_t kind) {
    switch (kind) {
        case OP_ERASE:
            return Operation::Erase;
        case OP_DUMP:
            return Operation::Dump;
        case OP_FILE_SYSTEM:
            return Operation::FileSystem;
        case OP_FORMAT:
            return Operation::Format;
        case OP_STATUS:
            return Operation::Status;
        case OP_FIRMWARE_THEN_FILE_SYSTEM:
            return Operation::FirmwareAndFileSystem;
        case OP_VERIFY_FIRMWARE:
            return Operation::FirmwareVerify;
        case OP_VERIFY_FILE_SYSTEM:
            return Operation::FileSystemVerify;
        default:
            return Operation::Firmware;
    }
}

}  // namespace

PhaseContext::PhaseContext(SerialLink& link, DownloaderView& view, Clock& clock)
    : m_Link(link), m_View(view), m_Clock(clock), m_SectorChoice(SectorMap::kSectorCount, 0) {}

bool PhaseContext::openLink(std::uint16_t portNumber, std::uint32_t baud) {
    if (m_Link.open(portNumber, baud))
        return true;
    switch (m_Link.lastOpenFailure().kind) {
        case OpenFailure::Kind::LineRejected:
            m_View.messageBox("Fail!!", MessageIcon::Error);
            break;
        case OpenFailure::Kind::ThreadFailed:
            m_View.messageBox("CreateThread Fail!!", MessageIcon::Error);
            break;
        default:
            break;
    }
    return false;
}

void PhaseContext::send(std::span<const std::uint8_t> bytes) {
    ++m_Sends;
    m_Link.write(bytes.data(), bytes.size());
}

void PhaseContext::send(std::initializer_list<std::uint8_t> bytes) {
    ++m_Sends;
    m_Link.write(bytes.begin(), bytes.size());
}

void PhaseContext::setState(std::int32_t state) {
    if (m_State != IDLE && m_State != INITIAL)
        m_LastWaitingState = m_State;
    m_State = state;
    publishStage();
}

void PhaseContext::setLoaderReady(bool ready) {
    m_LoaderReady = ready;
    // The identification makes the loader ready in its last step and then ends the bring-up:
    // a ready loader in a bring-up state is no stage of its own, and the view would be told
    // "working" for an operation that never began.
    if (!ready || m_State == IDLE || m_State == INITIAL)
        publishStage();
}

void PhaseContext::setOperationKind(std::int32_t kind) {
    m_OperationKind = kind;
    publishStage();
}

Stage PhaseContext::stage() const {
    if (m_State == INITIAL)
        return Stage::Initial;
    if (!m_LoaderReady) {
        if (m_State == IDLE)
            return Stage::Idle;
        return m_Current && m_Current->waitsForPhone(m_State) ? Stage::WaitingForPhone
                                                              : Stage::BringingUp;
    }
    if (m_State == IDLE)
        return Stage::Ready;
    return m_OperationKind == OP_VERIFY_FIRMWARE || m_OperationKind == OP_VERIFY_FILE_SYSTEM
               ? Stage::Verifying
               : Stage::Working;
}

void PhaseContext::publishStage() {
    if (m_HoldStage)
        return;
    const Stage now = stage();
    if (now == m_PublishedStage)
        return;
    m_PublishedStage = now;
    m_View.stageChanged(now);
}

Failure PhaseContext::failureHere(FailureCause cause, const std::string& detail) const {
    // A step that went idle first still failed in the exchange it was waiting on.
    const std::int32_t state = m_State == IDLE || m_State == INITIAL ? m_LastWaitingState : m_State;
    Failure failure;
    failure.exchange = exchangeNameIn(state);
    failure.state = state;
    failure.cause = cause;
    failure.detail = detail;
    return failure;
}

void PhaseContext::wrongReply(std::uint8_t got, std::optional<std::uint8_t> expected,
                              const std::string& failText, Ending ending,
                              const std::string& detail) {
    Failure failure =
        failureHere(FailureCause::PhoneReply, detail.empty() ? trimmedWords(failText) : detail);
    failure.expected = expected;
    failure.got = got;
    endWithWrongReply(std::move(failure), failText, ending);
}

void PhaseContext::endWithWrongReply(Failure failure, const std::string& failText, Ending ending) {
    if (!failText.empty())
        log(failText);
    if (ending == Ending::Abandon) {
        abandonWith(std::move(failure));
        return;
    }
    if (m_Tracked)
        m_Verdict = Verdict{OutcomeKind::Failed, std::move(failure)};
    finishOperation();
}

bool PhaseContext::chooseSectors() {
    std::fill(m_SectorChoice.begin(), m_SectorChoice.end(), 0);
    if (!m_Request.sectors)
        return m_View.selectSectors(m_SectorMap, m_SectorChoice);
    const std::size_t n = std::min(m_SectorChoice.size(), m_Request.sectors->size());
    std::copy_n(m_Request.sectors->begin(), n, m_SectorChoice.begin());
    return true;
}

std::string PhaseContext::chooseSaveFile(const SaveFileRequest& request) {
    return m_Request.saveFile ? *m_Request.saveFile : m_View.chooseSaveFile(request);
}

bool PhaseContext::confirmFormat(const std::string& question) {
    return m_Request.formatConfirmed ? *m_Request.formatConfirmed : m_View.askYesNo(question);
}

void PhaseContext::requestFrame(std::size_t bytes) {
    // Before the request goes out: the watcher must not wake us for a part of the reply.
    m_FrameRequest = bytes;
    m_Link.setBlockMode(bytes);
}

void PhaseContext::cancelFrame() {
    m_FrameRequest = 0;
    m_Link.setBlockMode(0);
}

void PhaseContext::log(std::string_view text) {
    m_View.appendLog(text);
}

void PhaseContext::startBaudTimer(int milliseconds) {
    m_BaudTimerRunning = true;
    m_View.startBaudTimer(milliseconds);
}

bool PhaseContext::readyForOperation() {
    if (!m_LoaderReady) {
        log("\r\n** The phone is not ready: press START and wait until the flash is "
            "identified.\r\n");
        return false;
    }
    // The window locks its buttons while an operation runs; the command line relies on this.
    return m_State == IDLE;
}

void PhaseContext::beginOperation(std::int32_t kind) {
    // The second part of BIN + QIX continues the operation that the first part began.
    if (!m_Tracked)
        trackOperation(operationFor(kind));
    m_OperationKind = kind;
    if (const auto it = m_OperationPhases.find(kind); it != m_OperationPhases.end())
        m_Current = it->second;
    // The operation's states reuse the bring-up's numbers: its last exchange names none of them.
    m_Armed = kNone;
    setState(WAIT_START_REPLY);
    send({CMD_START});
}

bool PhaseContext::writingToFlash() const {
    if (!m_Tracked || !m_LoaderReady || m_State == IDLE)
        return false;
    switch (m_OperationKind) {
        case OP_FIRMWARE:
        case OP_ERASE:
        case OP_FILE_SYSTEM:
        case OP_FORMAT:
        case OP_FIRMWARE_THEN_FILE_SYSTEM:
            return true;
        default:
            return false;
    }
}

void PhaseContext::closeFiles() {
    for (HeldFiles* files : m_HeldFiles)
        files->closeFiles();
    qixImage.close();
}

bool PhaseContext::holdsOpenFile() const {
    const auto open = [](const HeldFiles* files) { return files->holdsOpenFile(); };
    return qixImage.isOpen() || std::any_of(m_HeldFiles.begin(), m_HeldFiles.end(), open);
}

void PhaseContext::finishOperation() {
    setState(IDLE);
    closeFiles();
    endTracked(OutcomeKind::Failed, failureHere(FailureCause::PhoneReply, {}));
}

void PhaseContext::abandon(FailureCause cause, const std::string& detail) {
    abandonWith(failureHere(cause, detail));
}

void PhaseContext::abandonWith(Failure failure) {
    setState(IDLE);
    if (m_Tracked && !m_Verdict)
        m_Verdict = Verdict{OutcomeKind::Abandoned, failure};
    endTracked(OutcomeKind::Abandoned, std::move(failure));
}

void PhaseContext::stop() {
    // An exchange that took the link over from us gives it back first.
    for (const auto& hook : m_StopHooks)
        hook();
    // Stop also ends a baud switch that is still retrying to reopen the port; the port is
    // closed then, but the link is not over until the timer is.
    const bool switching = m_BaudTimerRunning;
    if (switching) {
        m_View.stopBaudTimer();
        m_BaudTimerRunning = false;
    }
    // A baud switch that gives up has its port closed and its timer spent, yet its bring-up
    // is still waiting for an end.
    if (!m_Link.isConnected() && !switching && !m_Tracked)
        return;
    // Only an operation this stop cut short has something to say; one that ended has said it.
    const std::string stopped = m_Tracked && !m_Verdict
                                    ? stoppedLine(*m_Tracked, stage() == Stage::WaitingForPhone)
                                    : std::string();
    m_Link.close();
    cancelFrame();
    // An operation cut short here has not said where its bytes went (a failure that ended it
    // earlier has).
    if (m_Tracked)
        for (HeldFiles* files : m_HeldFiles)
            files->tellWhatStopLeft();
    closeFiles();
    m_View.heard(FlashNamed{});
    // Through INITIAL to IDLE as one change: the step between is no stage of its own.
    m_HoldStage = true;
    m_LoaderReady = false;
    setState(INITIAL);
    log("\r\n** Close COM port\r\n");
    if (!stopped.empty())
        log(stopped);
    m_View.setProgressPos(0);
    setState(IDLE);
    m_HoldStage = false;
    publishStage();
    m_View.linkClosed();
    endTracked(OutcomeKind::Stopped, failureHere(FailureCause::None, {}));
}

void PhaseContext::onLinkLost(const std::string& reason) {
    log("\r\n** Lost the connection to the phone (" + reason + ")\r\n");
    if (m_Tracked)
        m_Verdict = Verdict{OutcomeKind::LinkLost, failureHere(FailureCause::Port, reason)};
    stop();
    // A loss while nothing was tracked still ends the link; nothing to report then.
}

void PhaseContext::trackOperation(Operation operation) {
    m_Tracked = operation;
    m_Verdict.reset();
    m_TrackedSince = m_Clock.nowSeconds();
    m_Bytes = 0;
}

void PhaseContext::reportCompleted(std::uint64_t bytes) {
    m_Bytes = bytes;
    if (m_Tracked)
        m_Verdict = Verdict{OutcomeKind::Completed, Failure{}};
}

void PhaseContext::reportFailure(FailureCause cause, const std::string& detail) {
    if (m_Tracked)
        m_Verdict = Verdict{OutcomeKind::Failed, failureHere(cause, detail)};
}

void PhaseContext::refuse(Operation operation, FailureCause cause, const std::string& detail) {
    if (!m_Tracked)
        trackOperation(operation);
    m_Verdict = Verdict{OutcomeKind::Failed, failureHere(cause, detail)};
    endTracked(OutcomeKind::Failed, failureHere(cause, detail));
}

void PhaseContext::endTracked(OutcomeKind fallback, Failure fallbackFailure) {
    if (!m_Tracked)
        return;
    OperationOutcome outcome;
    outcome.operation = *m_Tracked;
    if (m_Verdict) {
        outcome.kind = m_Verdict->kind;
        outcome.failure = std::move(m_Verdict->failure);
    } else {
        outcome.kind = fallback;
        outcome.failure = std::move(fallbackFailure);
    }
    if (outcome.kind == OutcomeKind::Completed || outcome.kind == OutcomeKind::Stopped) {
        // Neither failed anywhere: keep the cause and words a stop was given, nothing more.
        outcome.failure.exchange.clear();
        outcome.failure.state = 0;
    }
    outcome.cause = outcome.failure.cause;
    outcome.detail = outcome.failure.detail;
    outcome.bytes = m_Bytes;
    outcome.elapsedSeconds = m_Clock.nowSeconds() - m_TrackedSince;
    m_Tracked.reset();
    m_Verdict.reset();
    m_View.operationEnded(outcome);
}

}  // namespace zrk

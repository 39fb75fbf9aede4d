#include "engine/PhaseContext.h"

#include "engine/OpenFailureText.h"
#include "engine/OperationFrame.h"
#include "engine/Phase.h"
#include "engine/SafeText.h"
#include "engine/StoppedLine.h"
#include "serial/SerialLink.h"

namespace zrk {

PhaseContext::PhaseContext(SerialLink& link, DownloaderView& view, Clock& clock)
    : m_Link(link),
      m_View(view),
      m_Clock(clock),
      m_Request(view),
      m_BaudTimer(view),
      m_Stage(view),
      m_Outcome(view, clock) {}

bool PhaseContext::openLink(std::uint16_t portNumber, std::uint32_t baud) {
    return openLinkTellingWhyNot(m_Link, m_View, portNumber, baud);
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
    const bool waitingForPhone = m_Current && m_Current->waitsForPhone(m_State);
    return stageAt(m_State, m_LoaderReady, m_OperationKind, waitingForPhone);
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
    if (!m_Outcome.tracking())
        m_Outcome.track(operationOfKind(kind));
    m_OperationKind = kind;
    if (const auto it = m_OperationPhases.find(kind); it != m_OperationPhases.end())
        m_Current = it->second;
    // The operation's states reuse the bring-up's numbers: its last exchange names none of them.
    m_Exchange.disarm();
    setState(WAIT_START_REPLY);
    send({CMD_START});
}

bool PhaseContext::writingToFlash() const {
    return m_Outcome.tracking() && m_LoaderReady && m_State != IDLE &&
           kindWritesToFlash(m_OperationKind);
}

void PhaseContext::finishOperation() {
    setState(IDLE);
    m_HeldFiles.closeAll();
    m_Outcome.end(OutcomeKind::Failed, failureHere(FailureCause::PhoneReply, {}));
}

void PhaseContext::abandon(FailureCause cause, const std::string& detail) {
    abandonWith(failureHere(cause, detail));
}

void PhaseContext::abandonWith(Failure failure) {
    setState(IDLE);
    m_Outcome.abandoned(failure);
    m_Outcome.end(OutcomeKind::Abandoned, std::move(failure));
}

void PhaseContext::stop() {
    // An exchange that took the link over from us gives it back first.
    for (const auto& hook : m_StopHooks)
        hook();
    // Stop also ends a baud switch that is still retrying to reopen the port; the port is
    // closed then, but the link is not over until the timer is.
    const bool switching = m_BaudTimer.running();
    m_BaudTimer.stop();
    // A baud switch that gives up has its port closed and its timer spent, yet its bring-up
    // is still waiting for an end.
    const auto& tracked = m_Outcome.tracked();
    if (!m_Link.isConnected() && !switching && !tracked)
        return;
    // Only an operation this stop cut short has something to say; one that ended has said it.
    const std::string stopped = tracked && !m_Outcome.judged()
                                    ? stoppedLine(*tracked, stage() == Stage::WaitingForPhone)
                                    : std::string();
    m_Link.close();
    cancelFrame();
    // An operation cut short here has not said where its bytes went (a failure that ended it
    // earlier has).
    if (m_Outcome.tracking())
        m_HeldFiles.tellWhatStopLeft();
    m_HeldFiles.closeAll();
    m_View.heard(FlashNamed{});
    // Through INITIAL to IDLE as one change: the step between is no stage of its own.
    m_Stage.hold();
    m_LoaderReady = false;
    setState(INITIAL);
    log("\r\n** Close COM port\r\n");
    if (!stopped.empty())
        log(stopped);
    m_View.setProgressPos(0);
    setState(IDLE);
    m_Stage.release(stage());
    m_View.linkClosed();
    m_Outcome.end(OutcomeKind::Stopped, failureHere(FailureCause::None, {}));
}

void PhaseContext::onLinkLost(const std::string& reason) {
    log("\r\n** Lost the connection to the phone (" + reason + ")\r\n");
    m_Outcome.judge(OutcomeKind::LinkLost, failureHere(FailureCause::Port, reason));
    stop();
    // A loss while nothing was tracked still ends the link; nothing to report then.
}

void PhaseContext::refuse(Operation operation, FailureCause cause, const std::string& detail) {
    if (!m_Outcome.tracking())
        m_Outcome.track(operation);
    m_Outcome.judge(OutcomeKind::Failed, failureHere(cause, detail));
    m_Outcome.end(OutcomeKind::Failed, failureHere(cause, detail));
}

}  // namespace zrk

#pragma once
// What a protocol step may touch: the link (send, frame requests), the log and the other view
// roles, the clock and the baud timer, the flash of this bring-up, the request the running
// operation was started with, and the operation frame (begin, finish, abandon, Stop) with the one
// typed outcome every operation ends in (OperationTracker). The phases are built on this and never
// see the engine that composes them, nor each other. The protocol state is theirs: outside, only
// the Stage it amounts to is seen.
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/ArmedExchange.h"
#include "engine/BaudTimer.h"
#include "engine/Clock.h"
#include "engine/DownloaderView.h"
#include "engine/HeldFiles.h"
#include "engine/OperationRequest.h"
#include "engine/OperationRun.h"
#include "engine/OperationTracker.h"
#include "engine/ProtocolState.h"
#include "engine/SectorMap.h"
#include "engine/StagePublisher.h"
#include "engine/StepMark.h"

namespace zrk {

class Phase;
class SerialLink;

// The boot-loader's 8-byte identification of the flash.
using FlashId = std::array<std::uint8_t, 8>;

class PhaseContext {
  public:
    static constexpr std::size_t kTransferBufferSize = 8192;

    PhaseContext(SerialLink& link, DownloaderView& view, Clock& clock);
    PhaseContext(const PhaseContext&) = delete;
    PhaseContext& operator=(const PhaseContext&) = delete;

    SerialLink& link() { return m_Link; }
    // Opens the port, or shows why not as the port's own open does (OpenFailureText.h).
    bool openLink(std::uint16_t portNumber, std::uint32_t baud);
    void send(std::span<const std::uint8_t> bytes);
    void send(std::initializer_list<std::uint8_t> bytes);
    // Moves to the exchange's state, sends its writes one by one and arms its reply: from now
    // on judge weighs each byte against it, until another exchange is begun or the state moves
    // on. The exchange is taken over, not copied: a builder's chain hands over a reference to
    // its temporary, and what built it is left empty.
    void begin(Exchange&& exchange);
    void begin(Exchange& exchange) { begin(std::move(exchange)); }
    // One received byte for the armed exchange: a reply that answers is handed to what follows
    // it; a wrong one goes where the exchange says, or fails it as the exchange says. A byte
    // in a state no exchange was begun for is dropped.
    void judge(std::uint8_t byte);
    // The exchange armed for the current state, if any.
    const Exchange* armedExchange() const;
    // The next delivery to the current phase is one whole frame of this many bytes, handed to
    // Phase::frame once all of it is queued; the watcher is told to wake us only then.
    void requestFrame(std::size_t bytes);
    void cancelFrame();
    std::size_t frameRequest() const { return m_FrameRequest; }

    void log(std::string_view text) { m_View.appendLog(text); }
    DownloaderView& view() { return m_View; }
    Clock& clock() { return m_Clock; }

    // The running operation's request and the questions before its first byte
    // (OperationRequest.h); the sectors are chosen over this bring-up's map.
    const UserChoices& request() const { return m_Request.choices(); }
    void takeRequest(const UserChoices& request) { m_Request.take(request); }
    void useCodePage(const std::string& codePage) { m_Request.useCodePage(codePage); }
    bool chooseSectors() { return m_Request.chooseSectors(m_SectorMap); }
    const std::vector<std::int32_t>& sectorChoice() const { return m_Request.sectorChoice(); }
    std::string chooseSaveFile(const SaveFileRequest& request) {
        return m_Request.chooseSaveFile(request);
    }
    bool confirmFormat(const std::string& question) { return m_Request.confirmFormat(question); }

    // The protocol state, the number the current phase's steps are keyed on; only the phases
    // and the engine set it. Each change that moves the Stage is told to the view.
    std::int32_t state() const { return m_State; }
    void setState(std::int32_t state);
    // The bring-up is over: bytes go to the operations' steps.
    bool loaderReady() const { return m_LoaderReady; }
    void setLoaderReady(bool ready);
    // The kind of the running boot-loader operation (OperationFrame.h).
    std::int32_t operationKind() const { return m_OperationKind; }
    void setOperationKind(std::int32_t kind);
    Stage stage() const;
    // The exchange the current state waits on: the one armed for it, or as its phase names it.
    const char* exchangeName() const { return exchangeNameIn(m_State); }
    std::string exchange() const { return exchangeName(); }

    using Ending = zrk::Ending;
    // A reply a step judged wrong on its own terms (a byte that means "no", words an exchange
    // cannot make alone): the step's words are logged, the typed failure is recorded (the
    // exchange, its state, the byte wanted where there is one and the byte received, the words
    // as detail unless one is given) and the operation ends as `ending` says.
    void wrongReply(std::uint8_t got, std::optional<std::uint8_t> expected,
                    const std::string& failText, Ending ending, const std::string& detail = {});

    void startBaudTimer(int milliseconds) { m_BaudTimer.start(milliseconds); }
    bool baudTimerRunning() const { return m_BaudTimer.running(); }
    void baudTimerFired() { m_BaudTimer.fired(); }
    void stopBaudTimer() { m_BaudTimer.stop(); }

    // Phases. The engine makes one current at START; an operation's phase becomes current when
    // the operation begins (see serveOperation).
    void enterPhase(Phase& phase) {
        m_Current = &phase;
        m_Exchange.disarm();
        publishStage();
    }
    Phase* currentPhase() const { return m_Current; }
    void serveOperation(std::int32_t kind, Phase& phase) { m_OperationPhases[kind] = &phase; }
    // The DOWNLOAD button, for the auto-download after identification.
    void setDownloadButton(std::function<void()> press) { m_DownloadButton = std::move(press); }
    void pressDownload() {
        if (m_DownloadButton)
            m_DownloadButton();
    }

    // The operation frame. Buttons start an operation only on an identified phone with nothing
    // else running; otherwise the first says why in the log.
    bool readyForOperation();
    // The operation kind, the start command, WAIT_START_REPLY; the phase that serves this kind
    // becomes current.
    void beginOperation(std::int32_t kind);
    // State IDLE, the operation's files closed; the operation ends as completed if the step said
    // so, otherwise as failed, and the phone is free for another.
    void finishOperation();
    // State IDLE only: the files stay open and the phone is held until Stop (an abandoned
    // outcome says so to the front ends).
    void abandon(FailureCause cause = FailureCause::PhoneReply, const std::string& detail = {});
    // Closes the link and everything with it.
    void stop();
    // Called first thing in every stop: a phase whose exchange has taken the link over (the
    // file-system verify's explorer) hands it back here.
    void onStop(std::function<void()> hook) { m_StopHooks.push_back(std::move(hook)); }
    // The watcher saw the device go away: say so in the log and stop the link.
    void onLinkLost(const std::string& reason);

    // Outcomes. An operation is tracked from its button (or START) to its end; steps say how it
    // went before they finish it, and a failure is recorded where the operation stands.
    void trackOperation(Operation operation) { m_Outcome.track(operation); }
    void countBytes(std::uint64_t bytes) { m_Outcome.countBytes(bytes); }
    void reportCompleted(std::uint64_t bytes) { m_Outcome.completed(bytes); }
    void reportFailure(FailureCause cause, const std::string& detail = {}) {
        m_Outcome.judge(OutcomeKind::Failed, failureHere(cause, detail));
    }
    // A button that refuses before anything is sent: the operation ends at once.
    void refuse(Operation operation, FailureCause cause, const std::string& detail);
    bool tracking() const { return m_Outcome.tracking(); }
    // An operation that writes to the phone's flash (firmware, file system, erase, format) is
    // under way: ending it now leaves the flash part-written. Not during its read-back verify.
    bool writingToFlash() const;

    // What a step changes when it takes its byte (StepMark.h).
    StepMark stepMark() const {
        return {m_State, m_LoaderReady, m_Sends, m_FrameRequest, m_Current};
    }

    // The flash of this bring-up: its identification once it has come, and the sector map,
    // active once that was the supported part.
    const std::optional<FlashId>& flashId() const { return m_FlashId; }
    void setFlashId(const FlashId& id) { m_FlashId = id; }
    void forgetFlashId() { m_FlashId.reset(); }
    const SectorMap& sectorMap() const { return m_SectorMap; }
    void activateSectorMap() { m_SectorMap.activate(); }

    // The operations' own files (HeldFiles.h): each operation hands them over once, when it is
    // made, and they are closed as the frame says.
    void holdFiles(HeldFiles& files) { m_HeldFiles.hold(files); }
    bool holdsOpenFile() const { return m_HeldFiles.anyOpen(); }

    // The running operation's start and the firmware part's length (OperationRun.h).
    void startTiming() { m_Run.start(m_Clock.nowSeconds()); }
    std::int64_t secondsSinceStart() const { return m_Run.secondsSince(m_Clock.nowSeconds()); }
    void setFirmwareLength(std::uint32_t length) { m_Run.setFirmwareLength(length); }
    std::uint32_t firmwareLength() const { return m_Run.firmwareLength(); }
    // Room for one block on its way between a file and the phone; one operation runs at a time.
    std::span<std::uint8_t, kTransferBufferSize> transferBuffer() { return m_TransferBuffer; }

  private:
    const char* exchangeNameIn(std::int32_t state) const;
    // The failure of the current exchange, with nothing received yet.
    Failure failureHere(FailureCause cause, const std::string& detail) const;
    // Logs the step's own words for a wrong reply and ends the operation with its failure.
    void endWithWrongReply(Failure failure, const std::string& failText, Ending ending);
    void publishStage() {
        if (!m_Stage.held())
            m_Stage.publish(stage());
    }
    void abandonWith(Failure failure);

    SerialLink& m_Link;
    DownloaderView& m_View;
    Clock& m_Clock;
    std::int32_t m_State = INITIAL;
    bool m_LoaderReady = false;
    std::int32_t m_OperationKind = 0;
    std::int32_t m_LastWaitingState = INITIAL;
    OperationRequest m_Request;
    BaudTimer m_BaudTimer;
    StagePublisher m_Stage;
    std::size_t m_FrameRequest = 0;
    std::uint64_t m_Sends = 0;
    Phase* m_Current = nullptr;
    std::map<std::int32_t, Phase*> m_OperationPhases;
    std::function<void()> m_DownloadButton;
    ArmedExchange m_Exchange;
    std::vector<std::function<void()>> m_StopHooks;
    OperationTracker m_Outcome;

    std::optional<FlashId> m_FlashId;
    SectorMap m_SectorMap;
    HeldFileList m_HeldFiles;
    OperationRun m_Run;
    std::array<std::uint8_t, kTransferBufferSize> m_TransferBuffer{};
};

}  // namespace zrk

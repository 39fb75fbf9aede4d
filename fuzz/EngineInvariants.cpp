#include "fuzz/EngineInvariants.h"

#include "fuzz/FuzzCheck.h"
#include "fuzz/WireCommands.h"
#include "station/StageWords.h"
#include "support/EngineProbe.h"

namespace zrk::fuzz {

using station::stageName;

namespace {

// Operations whose completion the engine announces in a message box.
bool showsCompletion(Operation operation) {
    return operation != Operation::BringUp && operation != Operation::Status;
}

// The stages in which the engine waits on the phone, and so names what it waits on.
bool waitsOnPhone(Stage stage) {
    return stage == Stage::WaitingForPhone || stage == Stage::BringingUp ||
           stage == Stage::Working || stage == Stage::Verifying;
}

bool mayFollow(Stage from, Stage to) {
    if (from == to)
        return false;  // a stage is told once, when it changes
    if (to == Stage::Idle)
        return true;  // Stop, a lost link or a failed bring-up, from anywhere
    switch (to) {
        case Stage::Initial:
            return false;
        case Stage::WaitingForPhone:
            return from == Stage::Initial || from == Stage::Idle || from == Stage::BringingUp;
        case Stage::BringingUp:
            return from == Stage::WaitingForPhone;
        case Stage::Ready:
            return from == Stage::BringingUp || from == Stage::Working || from == Stage::Verifying;
        case Stage::Working:
        case Stage::Verifying:
            return from == Stage::Ready || from == Stage::Working || from == Stage::Verifying;
        case Stage::Idle:
            break;
    }
    return false;
}

}  // namespace

EngineInvariants::Mark EngineInvariants::mark() const {
    return {EngineProbe::context(m_Rig.engine).tracking(),
            m_Rig.view.outcomes.size(),
            m_Rig.view.messages.size(),
            m_Rig.link.transcript.size(),
            m_Rig.view.stages.size(),
            exchangeNow(m_Rig.engine),
            signsShown()};
}

void EngineInvariants::takeDescriptors() {
    check(m_Descriptors.take(), "the open file descriptors cannot be listed");
}

void EngineInvariants::checkDescriptorsAtEnd() {
    check(m_Descriptors.unchangedAtEnd(), "a file descriptor is open at the end of the input");
}

void EngineInvariants::afterStep(const Mark& mark, bool button,
                                 std::optional<std::uint8_t> phoneByte) {
    checkStages(mark);
    checkLink();
    checkOutcomes(mark, button, phoneByte);
    checkFiles(button || signsShown() != mark.signs);
}

std::size_t EngineInvariants::signsShown() const {
    const test::RecordingView& v = m_Rig.view;
    const RecordingLink& l = m_Rig.link;
    return l.transcript.size() + l.opens.size() + static_cast<std::size_t>(l.closes) +
           v.stages.size() + v.outcomes.size() + v.messages.size() + v.events.size() +
           v.log.size() + v.questions.size() + v.saveRequests.size() + v.timerStarts.size() +
           v.progressHistory.size() + static_cast<std::size_t>(v.sectorDialogs);
}

void EngineInvariants::checkStages(const Mark& mark) {
    // The messages are made only for a violation: these checks run after every action.
    const ProtocolEngine& engine = m_Rig.engine;
    const auto& stages = m_Rig.view.stages;
    const Stage now = engine.stage();
    Stage previous = mark.stages == 0 ? Stage::Initial : stages[mark.stages - 1];
    for (std::size_t i = mark.stages; i < stages.size(); ++i) {
        if (!mayFollow(previous, stages[i]))
            violated(std::string("the stage went from ") + stageName(previous) + " to " +
                     stageName(stages[i]));
        previous = stages[i];
    }
    if (previous != now)
        violated(std::string("the view was last told the stage ") + stageName(previous) +
                 ", but the engine is " + stageName(now));
    const char* exchange = exchangeNow(engine);
    if ((exchange[0] == '\0') == waitsOnPhone(now))
        violated(std::string("in the stage ") + stageName(now) +
                 (exchange[0] == '\0' ? " the engine names no exchange"
                                      : " the engine waits on \"" + std::string(exchange) + "\""));
    if ((now == Stage::Working || now == Stage::Verifying) &&
        !EngineProbe::context(engine).tracking())
        violated(std::string("the stage is ") + stageName(now) + " with no operation tracked");
}

bool EngineInvariants::waitingForDumpBlock() const {
    const auto& writes = m_Rig.link.transcript;
    if (m_Rig.engine.stage() != Stage::Working || writes.empty())
        return false;
    const auto& last = writes.back().bytes;
    return last.size() == 5 && last[0] == wire::kDumpBlock &&
           m_Rig.link.replySize(writes.size() - 1) == 0;
}

void EngineInvariants::checkLink() {
    const ProtocolEngine& engine = m_Rig.engine;
    const RecordingLink& link = m_Rig.link;
    const Stage stage = engine.stage();
    if ((stage == Stage::Ready || stage == Stage::Working || stage == Stage::Verifying) &&
        !link.connected)
        violated(std::string("the stage is ") + stageName(stage) + " on a closed port");
    if ((stage == Stage::WaitingForPhone || stage == Stage::BringingUp) && !link.connected &&
        !engine.baudTimerRunning())
        violated("waiting on \"" + engine.exchange() +
                 "\" with neither a port nor the timer that reopens it");
    check(m_Rig.view.timerRunning == engine.baudTimerRunning(),
          "the window's timer and the engine disagree on the baud timer");
    const bool waitingForBlock = waitingForDumpBlock();
    check(link.blockMode == waitingForBlock,
          "block mode outside a dump block wait, or a dump block wait without it");
    if (link.blockMode)
        check(link.frameSize == wire::kDumpFrameSize, "a dump block frame of another size");
}

void EngineInvariants::checkFailure(const OperationOutcome& outcome, const Mark& mark,
                                    std::optional<std::uint8_t> phoneByte) {
    const Failure& failure = outcome.failure;
    const std::string what =
        std::string(operationName(outcome.operation)) + " " + kindName(outcome.kind);
    check(outcome.cause == failure.cause && outcome.detail == failure.detail,
          what + ": the outcome and its failure tell different causes");
    if (outcome.completed()) {
        check(failure.cause == FailureCause::None && failure.exchange.empty(),
              what + " with a failure");
        return;
    }
    if (failure.cause != FailureCause::PhoneReply)
        return;
    check(!failure.exchange.empty(), what + " on a phone reply that names no exchange");
    check(!failure.expected || !failure.got || *failure.expected != *failure.got,
          what + ": the reply it got is the one it expected");
    if (!phoneByte)
        return;
    // One byte from the phone ended it: the exchange is the one the engine waited on, and
    // the byte is the one it received.
    check(failure.exchange == mark.exchange,
          what + " in \"" + failure.exchange + "\" while it waited on \"" + mark.exchange + "\"");
    if (failure.got)
        check(*failure.got == *phoneByte, what + ": the failure names another byte received");
}

void EngineInvariants::checkOutcomes(const Mark& mark, bool button,
                                     std::optional<std::uint8_t> phoneByte) {
    const auto& outcomes = m_Rig.view.outcomes;
    const bool tracking = EngineProbe::context(m_Rig.engine).tracking();

    // Exactly one outcome per operation.
    const std::size_t ended = outcomes.size() - mark.outcomes;
    const std::size_t begun = button ? 1 : (m_Rig.view.userChoices.autoDownload ? 1 : 0);
    check(ended <= (mark.tracking ? 1u : 0u) + begun,
          [&] { return std::to_string(ended) + " outcomes in one step"; });
    if (mark.tracking && !tracking)
        check(ended >= 1, "an operation ended without an outcome");

    std::size_t completedWithText = 0;
    for (std::size_t i = mark.outcomes; i < outcomes.size(); ++i) {
        const OperationOutcome& outcome = outcomes[i];
        show(operationName(outcome.operation), kindName(outcome.kind));
        checkFailure(outcome, mark, phoneByte);
        const std::size_t from =
            i == mark.outcomes && mark.tracking ? m_OperationFrom : mark.writes;
        if (outcome.kind == OutcomeKind::Abandoned)
            m_AbandonedFilesMayStay = true;
        if (outcome.completed()) {
            if (!m_Imprecise)
                m_Completion.confirm(outcome, from);
            if (showsCompletion(outcome.operation))
                ++completedWithText;
        }
    }
    if (tracking && (!mark.tracking || ended > 0))
        m_OperationFrom = mark.writes;

    // No completion text without a completed operation, and none missing.
    std::size_t texts = 0;
    for (std::size_t i = mark.messages; i < m_Rig.view.messages.size(); ++i)
        if (m_Rig.view.messages[i].find("ompleted") != std::string::npos)
            ++texts;
    check(texts == completedWithText, [&] {
        return std::to_string(texts) + " completion messages for " +
               std::to_string(completedWithText) + " completed operations";
    });
}

void EngineInvariants::checkFiles(bool countDescriptors) {
    // No file open outside an operation (an abandoned one keeps its files until Stop).
    const PhaseContext& c = EngineProbe::context(m_Rig.engine);
    if (!m_Rig.link.connected && !m_Rig.engine.baudTimerRunning())
        m_AbandonedFilesMayStay = false;
    if (c.tracking() || m_AbandonedFilesMayStay)
        return;
    check(!c.holdsOpenFile(), "a file is open outside an operation");
    // Looking is a system call, dearer than the rest of a step: it is made after a step that
    // showed anything (a write, the port, a stage, an outcome, a message, a log line, a
    // question, the timer, progress) and after every button. Opening a file shows in one of
    // these, and a descriptor left open stays seen at the next such step, at the latest at
    // the Stop that ends every input, after which the exact list is compared.
    if (countDescriptors)
        check(m_Descriptors.unchanged(), "a file descriptor is open outside an operation");
}

}  // namespace zrk::fuzz

#include <chrono>
#include <string>

#include "engine/EngineLoop.h"
#include "engine/OpenFailureText.h"
#include "protocol/ProtocolEngine.h"
#include "serial/LinkSetup.h"
#include "station/FailureWords.h"
#include "station/PhoneReportFile.h"
#include "station/PhoneWait.h"
#include "station/PortRunner.h"
#include "station/PortRunnerView.h"
#include "station/StationReport.h"

// One phone on the runner's cable: waiting for it, bringing it up, the recipe's download, and
// what it ended with, in the port's record, in its own report file and as an event.
namespace zrk::station {

PortRunner::After PortRunner::servePhone(LinkSetup& link, EngineLoop& loop, View& view) {
    CommPort& port = link.port();
    const UserChoices choices = m_Recipe.choices();
    const auto stopped = [this] { return m_Stop.raised(); };
    const auto ended = [&view] { return view.outcome.has_value(); };

    // The phone counts once it answers; until then it is only the wait for one.
    m_Recorder.beginPhone(true);
    view.outcome.reset();
    view.flashName.clear();
    ProtocolEngine engine(port, view);
    loop.onTimer = [&engine] { engine.onBaudTimer(); };
    m_Recorder.engineChanged(&engine);
    view.onOutcome = [this, &view](const OperationOutcome& o) {
        m_Recorder.operationEnded(o, view.flashName);
    };
    // However the phone ends, the engine closes the link before it goes (the phone powers off).
    struct Closing {
        ProtocolEngine& engine;
        EngineLoop& loop;
        View& view;
        PhoneRecorder& recorder;
        ~Closing() {
            engine.stop();
            view.onOutcome = {};
            loop.onTimer = {};
            recorder.engineChanged(nullptr);
        }
    } closing{engine, loop, view, m_Recorder};

    setState(PortState::Waiting);
    engine.start(choices);
    // A phone may be a while coming to a looping cable: only its first reply starts the clock.
    const bool spoke =
        awaitPhone(loop, port, engine, ended,
                   m_Options.loop ? std::chrono::milliseconds(0) : m_Options.silence, stopped);
    const bool answered =
        spoke || engine.stage() == Stage::BringingUp || engine.stage() == Stage::Ready;
    if (!answered) {
        m_Recorder.endPhone({});
        if (m_Stop.raised())
            return After::EndPort;
        std::string words;
        if (view.outcome && (view.outcome->kind == OutcomeKind::LinkLost ||
                             view.outcome->cause == FailureCause::Port)) {
            const OpenFailure why = port.lastOpenFailure();
            words = why.kind != OpenFailure::Kind::None ? describeOpenFailure(why)
                                                        : failureWords(*view.outcome);
        } else if (view.outcome) {
            words = failureWords(*view.outcome);
        } else {
            words = noAnswerWords(m_Options.silence);
        }
        {
            std::lock_guard lock(m_RecordLock);
            m_Recorder.record().note = words;
        }
        setState(PortState::PortProblem);
        StationEvent e;
        e.kind = StationEvent::Kind::Log;
        e.text = "This port is not served any more: " + words;
        post(std::move(e));
        return After::EndPort;
    }
    m_Recorder.phoneAnswered();
    setState(PortState::BringingUp);

    PhoneEnding ending{true, resultKindWords(ResultKind::Passed), {}, {}};
    // Waits for the current operation's end; false (with the cause) when the phone failed.
    auto finished = [&](EngineLoop::RunResult how) {
        ending.passed = false;
        if (m_Stop.raised() && (!view.outcome || !view.outcome->completed())) {
            ending.reason = "stopped";
            ending.result = resultKindWords(ResultKind::Interrupted);
            return false;
        }
        if (!view.outcome) {
            ending.reason = silenceWords(engine.exchange());
            ending.result = resultKindWords(
                how == EngineLoop::RunResult::Silent ? ResultKind::TimedOut : ResultKind::Failed);
            return false;
        }
        const OperationOutcome& o = *view.outcome;
        if (!o.completed()) {
            ending.reason = failureWords(o);
            ending.result = resultWords(o);
            return false;
        }
        ending.passed = true;
        return true;
    };
    if (finished(loop.runUntil(ended, m_Options.silence, stopped))) {
        view.outcome.reset();
        setState(PortState::Downloading);
        engine.download(choices);
        finished(loop.runUntil(ended, m_Options.silence, stopped));
    }
    if (ending.passed)
        ending.result = resultKindWords(ResultKind::Passed);
    m_Recorder.flashFound(view.flashName);
    finishPhone(ending);
    return m_Stop.raised() ? After::EndPort : After::NextPhone;
}

void PortRunner::finishPhone(const PhoneEnding& ending) {
    report::PortRecord single;
    {
        std::lock_guard lock(m_RecordLock);
        m_Recorder.endPhone(ending);
        single = m_Recorder.record();
    }
    const report::PhoneRecord phone = single.phones.back();
    PhoneResult r;
    r.number = phone.number;
    r.passed = phone.passed;
    r.cause = ending.reason;
    r.flashName = phone.flashName;
    r.seconds = std::chrono::duration<double>(phone.ended - phone.started).count();
    for (const auto& op : phone.operations)
        if (op.operation != Operation::BringUp)
            r.bytes += op.bytes;
    r.passedCount = m_Recorder.passed();
    r.failedCount = m_Recorder.failed();
    // The phone's own report, written here so that the window never waits on a disk.
    if (!m_Options.reportFolder.empty()) {
        single.phones = {phone};
        const report::RunReport one =
            stationReport({single}, m_Options.program, phone.started, phone.ended);
        r.reportPath = writePhoneReport(one, m_Options.reportFolder, m_Target.name, phone.number,
                                        &r.reportError);
    }
    setState(phone.passed ? PortState::Done : PortState::Failed);
    StationEvent e;
    e.kind = StationEvent::Kind::Phone;
    e.phone = std::move(r);
    post(std::move(e));
}

}  // namespace zrk::station

#include <chrono>
#include <string>

#include "engine/EngineLoop.h"
#include "engine/OpenFailureText.h"
#include "protocol/ProtocolEngine.h"
#include "serial/LinkSetup.h"
#include "station/FailureWords.h"
#include "station/PhoneReportFile.h"
#include "station/PortRunner.h"
#include "station/PortRunnerView.h"
#include "station/StationReport.h"

// One phone on the runner's cable: waiting for it, bringing it up, the recipe's download, and
// what it ended with, in the port's record, in its own report file and as an event.
namespace zrk::station {

namespace {
report::TimePoint now() {
    return std::chrono::system_clock::now();
}
}  // namespace

PortRunner::After PortRunner::servePhone(LinkSetup& link, EngineLoop& loop, View& view) {
    CommPort& port = link.port();
    const UserChoices choices = m_Recipe.choices();
    const auto stopped = [this] { return m_Stop.load(); };
    const auto ended = [&view] { return view.outcome.has_value(); };

    report::PhoneRecord phone;
    {
        std::lock_guard lock(m_RecordLock);
        phone.number = static_cast<int>(m_Record.phones.size()) + 1;
    }
    report::TimePoint opStarted = now();
    view.outcome.reset();
    view.flashName.clear();
    ProtocolEngine engine(port, view);
    loop.onTimer = [&engine] { engine.onBaudTimer(); };
    bool answered = false;
    view.onOutcome = [&](const OperationOutcome& o) {
        if (!answered)
            return;
        phone.operations.push_back(
            report::makeOperationRecord(o, choices, m_Images, {}, opStarted, now()));
        opStarted = now();
    };
    // However the phone ends, the engine closes the link before it goes (the phone powers off).
    struct Closing {
        ProtocolEngine& engine;
        EngineLoop& loop;
        View& view;
        ~Closing() {
            engine.stop();
            view.onOutcome = {};
            loop.onTimer = {};
        }
    } closing{engine, loop, view};

    setState(PortState::Waiting);
    const std::uint64_t repliesBefore = port.repliesAccepted();
    engine.start(choices);
    // A phone may be a while coming to a looping cable: only its first reply starts the clock.
    loop.runUntil([&] { return ended() || engine.stage() != Stage::WaitingForPhone; },
                  m_Options.loop ? std::chrono::milliseconds(0) : m_Options.silence, stopped);
    answered = port.repliesAccepted() != repliesBefore || engine.stage() == Stage::BringingUp ||
               engine.stage() == Stage::Ready;
    if (!answered) {
        if (m_Stop.load())
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
            m_Record.note = words;
        }
        setState(PortState::PortProblem);
        StationEvent e;
        e.kind = StationEvent::Kind::Log;
        e.text = "This port is not served any more: " + words;
        post(std::move(e));
        return After::EndPort;
    }
    phone.started = now();
    opStarted = phone.started;
    setState(PortState::BringingUp);

    std::string cause;
    std::string result = "passed";
    // Waits for the current operation's end; false (with the cause) when the phone failed.
    auto finished = [&](EngineLoop::RunResult how) {
        if (m_Stop.load() && (!view.outcome || !view.outcome->completed())) {
            cause = "stopped";
            result = "interrupted";
            return false;
        }
        if (!view.outcome) {
            cause = silenceWords(engine.exchange());
            result = how == EngineLoop::RunResult::Silent ? "timed out" : "failed";
            return false;
        }
        const OperationOutcome& o = *view.outcome;
        if (o.completed())
            return true;
        cause = failureWords(o);
        result = resultWords(o);
        return false;
    };
    bool passed = finished(loop.runUntil(ended, m_Options.silence, stopped));
    if (passed) {
        view.outcome.reset();
        setState(PortState::Downloading);
        engine.download(choices);
        passed = finished(loop.runUntil(ended, m_Options.silence, stopped));
    }
    phone.flashName = view.flashName;
    if (const auto id = engine.flashId())
        phone.flashId = id;
    phone.passed = passed;
    phone.result = passed ? "passed" : result;
    phone.reason = passed ? std::string() : cause;
    finishPhone(std::move(phone), cause);
    return m_Stop.load() ? After::EndPort : After::NextPhone;
}

void PortRunner::finishPhone(report::PhoneRecord phone, const std::string& cause) {
    phone.ended = now();
    PhoneResult r;
    r.number = phone.number;
    r.passed = phone.passed;
    r.cause = cause;
    r.flashName = phone.flashName;
    r.seconds = std::chrono::duration<double>(phone.ended - phone.started).count();
    for (const auto& op : phone.operations)
        if (op.operation != Operation::BringUp)
            r.bytes += op.bytes;
    report::PortRecord single;
    {
        std::lock_guard lock(m_RecordLock);
        (phone.passed ? m_Passed : m_Failed) += 1;
        r.passedCount = m_Passed;
        r.failedCount = m_Failed;
        m_Record.phones.push_back(phone);
        single = m_Record;
    }
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

#include "station/PortRunner.h"

#include <ctime>
#include <optional>

#include "engine/EngineLoop.h"
#include "engine/OpenFailureText.h"
#include "protocol/ProtocolEngine.h"
#include "report/ReportJson.h"
#include "serial/LinkSetup.h"
#include "station/FailureWords.h"
#include "station/PhoneReportFile.h"

namespace zrk::station {

namespace {
report::TimePoint now() {
    return std::chrono::system_clock::now();
}
}  // namespace

const char* portStateWords(PortState state) {
    switch (state) {
        case PortState::Idle:
            return "not started";
        case PortState::Waiting:
            return "waiting for a phone";
        case PortState::BringingUp:
            return "bringing up";
        case PortState::Downloading:
            return "downloading";
        case PortState::Verifying:
            return "verifying";
        case PortState::Done:
            return "done";
        case PortState::Failed:
            return "failed";
        case PortState::Stopped:
            return "stopped";
        case PortState::PortProblem:
            return "port problem";
    }
    return "";
}

// The engine's view on the runner's thread: nothing here ever asks anybody, the recipe answers
// for the user; log and progress go out as events, progress no more often than asked.
class PortRunner::View : public DownloaderView {
  public:
    View(PortRunner& runner, EngineLoop& loop) : m_Runner(runner), m_Loop(loop) {}

    std::optional<OperationOutcome> outcome;
    std::string flashName;
    std::function<void(const OperationOutcome&)> onOutcome;

    void appendLog(const std::string& text) override { log(text); }
    void setLogText(const std::string& text) override { log(text); }
    void setProgressRange(std::uint32_t total) override {
        m_Total = total;
        m_Unit = ProgressUnit::Bytes;
        m_RangeSet = std::chrono::steady_clock::now();
        m_LastPost = {};
        setProgressPos(0);
    }
    void setProgressUnit(ProgressUnit unit) override { m_Unit = unit; }
    void setProgressPos(std::uint32_t position) override {
        const auto t = std::chrono::steady_clock::now();
        if (position != 0 && position < m_Total &&
            t - m_LastPost < m_Runner.m_Options.progressEvery)
            return;
        m_LastPost = t;
        StationEvent e;
        e.kind = StationEvent::Kind::Progress;
        e.position = position;
        e.total = m_Total;
        e.unit = m_Unit;
        const double seconds = std::chrono::duration<double>(t - m_RangeSet).count();
        e.rate = seconds > 0.05 ? position / seconds : 0;
        m_Runner.post(std::move(e));
    }
    void messageBox(const std::string& text, MessageIcon) override { log(text); }
    // Only a question the recipe did not answer gets here; no one is at the cable to say yes.
    bool askYesNo(const std::string& text) override {
        log(text + " (answered no: the station asks nothing)");
        return false;
    }
    std::string chooseSaveFile(const SaveFileRequest&) override { return {}; }
    void startBaudTimer(int milliseconds) override { m_Loop.startTimer(milliseconds); }
    void stopBaudTimer() override { m_Loop.stopTimer(); }
    void operationEnded(const OperationOutcome& o) override {
        outcome = o;
        if (onOutcome)
            onOutcome(o);
    }
    void stageChanged(Stage stage) override {
        switch (stage) {
            case Stage::BringingUp:
                m_Runner.setState(PortState::BringingUp);
                break;
            case Stage::Working:
                m_Runner.setState(PortState::Downloading);
                break;
            case Stage::Verifying:
                m_Runner.setState(PortState::Verifying);
                break;
            default:
                break;  // the runner says waiting, done and failed itself
        }
    }
    // A closing link clears the name; the tile goes on showing the flash it last identified.
    void setFlashName(const std::string& name) override {
        if (name.empty())
            return;
        flashName = name;
        StationEvent e;
        e.kind = StationEvent::Kind::Flash;
        e.text = name;
        m_Runner.post(std::move(e));
    }
    void setFirmwareSizeText(const std::string&) override {}
    void setImageSizeText(const std::string&) override {}
    void showPortOpened() override {}
    void lockControls() override {}
    void finishOperation() override {}
    void showStopped() override {}
    bool selectSectors(const SectorMap&, std::vector<std::int32_t>&) override { return false; }
    UserChoices choices() override { return m_Runner.m_Recipe.choices(); }

  private:
    void log(const std::string& text) {
        StationEvent e;
        e.kind = StationEvent::Kind::Log;
        e.text = text;
        m_Runner.post(std::move(e));
    }

    PortRunner& m_Runner;
    EngineLoop& m_Loop;
    std::uint64_t m_Total = 0;
    ProgressUnit m_Unit = ProgressUnit::Bytes;
    std::chrono::steady_clock::time_point m_RangeSet = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_LastPost{};
};

PortRunner::PortRunner(int index, PortTarget target, Recipe recipe, RunOptions options,
                       EventQueue& events)
    : m_Index(index),
      m_Target(std::move(target)),
      m_Recipe(std::move(recipe)),
      m_Options(std::move(options)),
      m_Events(events) {
    m_Record.port = m_Target.name;
    m_Record.device = m_Target.device;
}

PortRunner::~PortRunner() {
    stop();
    join();
}

void PortRunner::start() {
    if (m_Thread.joinable())
        return;
    m_Stop = false;
    m_Finished = false;
    m_Thread = std::thread([this] { run(); });
}

void PortRunner::stop() {
    m_Stop = true;
    std::lock_guard lock(m_WakeLock);
    // A write stuck on a dead line gives up, and the loop looks at the stop flag.
    if (m_Port)
        m_Port->cancelWrites();
    if (m_Loop)
        m_Loop->wake();
}

void PortRunner::join() {
    if (m_Thread.joinable())
        m_Thread.join();
}

bool PortRunner::writing() const {
    const PortState s = m_State.load();
    return s == PortState::Downloading || s == PortState::Verifying;
}

report::PortRecord PortRunner::record() const {
    std::lock_guard lock(m_RecordLock);
    return m_Record;
}

void PortRunner::post(StationEvent event) {
    event.port = m_Index;
    m_Events.put(std::move(event));
}

void PortRunner::setState(PortState state) {
    if (m_State.exchange(state) == state)
        return;
    StationEvent e;
    e.kind = StationEvent::Kind::State;
    e.state = state;
    post(std::move(e));
}

void PortRunner::run() {
    // Each run reads the images once: their sizes and CRC-32s go into every phone's report.
    m_Images = m_Recipe.images();
    PortMap ports;
    LinkSetup link(ports);
    std::string endWords;
    bool usable = true;
    if (!m_Target.simArgs.empty()) {
        std::string error;
        usable = link.startSimulator(m_Target.simArgs, &error, true);
        if (!usable)
            endWords = "cannot start the phone simulator: " + error;
        else {
            std::lock_guard lock(m_RecordLock);
            m_Record.device = link.simulatorDevice();
        }
    } else {
        ports.setDevice(1, m_Target.device);
    }
    if (usable) {
        EngineLoop loop;
        loop.attach(link.port());
        View view(*this, loop);
        {
            std::lock_guard lock(m_WakeLock);
            m_Loop = &loop;
            m_Port = &link.port();
        }
        while (!m_Stop.load()) {
            if (servePhone(link, loop, view) == After::EndPort || !m_Options.loop)
                break;
        }
        {
            std::lock_guard lock(m_WakeLock);
            m_Loop = nullptr;
            m_Port = nullptr;
        }
        loop.detach(link.port());
    } else {
        setState(PortState::PortProblem);
    }
    if (link.simulating() && link.stopSimulator() == 1) {
        std::lock_guard lock(m_RecordLock);
        m_Record.note = "the phone simulator recorded protocol violations";
    }
    if (m_Stop.load() && m_State.load() != PortState::PortProblem)
        setState(PortState::Stopped);
    StationEvent e;
    e.kind = StationEvent::Kind::Ended;
    e.state = m_State.load();
    {
        std::lock_guard lock(m_RecordLock);
        e.text = endWords.empty() ? m_Record.note : endWords;
        if (!endWords.empty())
            m_Record.note = endWords;
    }
    post(std::move(e));
    m_Finished = true;
}

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
            words =
                "no phone answered within " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(m_Options.silence).count()) +
                " s";
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
        if (o.kind == OutcomeKind::LinkLost || o.cause == FailureCause::Port ||
            o.cause == FailureCause::File)
            result = "port or file problem";
        else if (o.cause == FailureCause::Refused)
            result = "refused";
        else if (o.kind == OutcomeKind::Stopped)
            result = "interrupted";
        else
            result = "failed";
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

report::RunReport stationReport(const std::vector<report::PortRecord>& ports,
                                const std::string& program, report::TimePoint started,
                                report::TimePoint ended) {
    report::RunReport r;
    r.program = program;
    r.version = report::programVersion();
    r.command = "station download";
    r.started = started;
    r.ended = ended;
    r.ports = ports;
    return r;
}

}  // namespace zrk::station

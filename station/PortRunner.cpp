#include "station/PortRunner.h"

#include "engine/EngineLoop.h"
#include "serial/LinkSetup.h"
#include "station/PortLink.h"
#include "station/PortRunnerView.h"

// The runner's thread: its link and loop, set up once, serving phone after phone until the port
// ends, and what the runner tells the window as it goes.
namespace zrk::station {

PortRunner::PortRunner(int index, PortTarget target, Recipe recipe, RunOptions options,
                       EventQueue& events)
    : m_Index(index),
      m_Target(std::move(target)),
      m_Recipe(std::move(recipe)),
      m_Options(std::move(options)),
      m_Events(events),
      m_Recorder(m_Target.name, m_Recipe.choices(), {}, {}) {
    m_Recorder.linkReady(m_Target.device);
}

PortRunner::~PortRunner() {
    stop();
    join();
}

void PortRunner::start() {
    if (m_Thread.joinable())
        return;
    m_Stop.clear();
    m_Finished = false;
    m_Thread = std::thread([this] { run(); });
}

void PortRunner::stop() {
    // A write stuck on a dead line gives up, and the loop looks at the stop flag.
    m_Stop.raise();
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
    return m_Recorder.record();
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
    m_Recorder.setImages(m_Recipe.images());
    PortMap ports;
    LinkSetup link(ports);
    // The record names what was opened: the simulator's terminal, or the target's device.
    std::string endWords = openPortLink(
        {{}, !m_Target.simArgs.empty(), m_Target.simArgs, true, m_Target.device}, link);
    const bool usable = endWords.empty();
    if (usable && link.simulating()) {
        std::lock_guard lock(m_RecordLock);
        m_Recorder.linkReady(link.simulatorDevice());
    }
    if (usable) {
        EngineLoop loop;
        loop.attach(link.port());
        View view(*this, loop);
        {
            const StopSignal::Registration stoppable(m_Stop, loop, link.port());
            while (!m_Stop.raised()) {
                if (servePhone(link, loop, view) == After::EndPort || !m_Options.loop)
                    break;
            }
        }
        loop.detach(link.port());
    } else {
        setState(PortState::PortProblem);
    }
    if (closePortLink(link).violations) {
        std::lock_guard lock(m_RecordLock);
        m_Recorder.record().note = "the phone simulator recorded protocol violations";
    }
    if (m_Stop.raised() && m_State.load() != PortState::PortProblem)
        setState(PortState::Stopped);
    StationEvent e;
    e.kind = StationEvent::Kind::Ended;
    e.state = m_State.load();
    {
        std::lock_guard lock(m_RecordLock);
        report::PortRecord& record = m_Recorder.record();
        e.text = endWords.empty() ? record.note : endWords;
        if (!endWords.empty())
            record.note = endWords;
    }
    post(std::move(e));
    m_Finished = true;
}

}  // namespace zrk::station

#include "station/PortRunner.h"

#include "engine/EngineLoop.h"
#include "serial/LinkSetup.h"
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

}  // namespace zrk::station

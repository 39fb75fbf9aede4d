#pragma once
// The engine on a real CommPort, a pseudo-terminal away from the phone simulator, driven by
// the Qt-free engine loop: what the command line does, without the command line.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineLoop.h"
#include "protocol/ProtocolEngine.h"
#include "serial/CommPort.h"
#include "serial/PortMap.h"
#include "sim/PhoneSimulator.h"
#include "support/EngineProbe.h"
#include "support/FakeClock.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"

namespace zrk::test {

// A recording view whose baud timer is the loop's.
class LoopView : public RecordingView {
  public:
    explicit LoopView(EngineLoop& loop) : m_Loop(loop) {}
    void startBaudTimer(int milliseconds) override {
        RecordingView::startBaudTimer(milliseconds);
        m_Loop.startTimer(milliseconds);
    }
    void stopBaudTimer() override {
        RecordingView::stopBaudTimer();
        m_Loop.stopTimer();
    }

  private:
    EngineLoop& m_Loop;
};

class SimulatedPhone {
  public:
    // Generous: a loaded machine with sanitizers may be slow, but a silent phone means a fault.
    static constexpr std::chrono::seconds kSilence{30};

    SimulatedPhone() {
        loop.attach(port);
        loop.onTimer = [this] { engine.onBaudTimer(); };
        view.userChoices.portIndex = 0;
        view.userChoices.speedIndex = 3;
    }
    ~SimulatedPhone() {
        port.close();
        if (sim)
            sim->stop();
    }

    // Starts a strict simulator (every byte the protocol does not allow is recorded) and maps
    // COM1 to its terminal.
    bool startSimulator(sim::SimOptions options = {}) {
        sim = std::make_unique<sim::PhoneSimulator>(options);
        std::string error;
        if (!sim->start(&error)) {
            ADD_FAILURE() << "simulator: " << error;
            return false;
        }
        ports.setDevice(1, sim->slavePath());
        return true;
    }

    // Runs the loop until the condition holds; false when the phone fell silent first.
    bool runUntil(const std::function<bool()>& done) {
        return loop.runUntil(done, kSilence) == EngineLoop::RunResult::Done;
    }

    // START and the whole bring-up; true when the loader phase is ready.
    bool bringUp() {
        engine.start(view.userChoices);
        return runUntil([this] { return EngineProbe::context(engine).loaderReady() || idle(); }) &&
               EngineProbe::context(engine).loaderReady() == 1;
    }

    // No exchange under way, whether or not a phone is identified.
    bool idle() const { return engine.stage() == Stage::Idle || engine.stage() == Stage::Ready; }

    std::size_t violations() const { return sim->violationCount(); }
    std::string summary() const { return sim->summary(); }
    std::vector<std::uint8_t> nor(std::uint32_t offset, std::uint32_t length) const {
        return sim->norRange(offset, length);
    }

    TempDir dir;
    std::unique_ptr<sim::PhoneSimulator> sim;
    PortMap ports;  // this phone's own: several may run side by side
    CommPort port{ports};
    EngineLoop loop;  // after the port, which must outlive its sink
    LoopView view{loop};
    FakeClock clock;  // the time packet and the elapsed times come from here
    ProtocolEngine engine{port, view, clock};
};

}  // namespace zrk::test

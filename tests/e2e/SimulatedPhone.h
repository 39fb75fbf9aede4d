#pragma once
// The engine on a real CommPort, a pseudo-terminal away from the phone simulator, driven by
// the Qt-free engine loop: what the command line does, without the command line.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineLoop.h"
#include "engine/ProtocolEngine.h"
#include "serial/CommPort.h"
#include "serial/LinkOwner.h"
#include "serial/PortMap.h"
#include "sim/PhoneSimulator.h"
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
        loop.onData = [this] { engine.onDataReceived(); };
        loop.onLinkLost = [this](const std::string& reason) { engine.onLinkLost(reason); };
        loop.onTimer = [this] { engine.onBaudTimer(); };
        loop.onMessage = [this](const std::string& text) {
            view.messageBox(text, MessageIcon::Error);
        };
        view.userChoices.portIndex = 0;
        view.userChoices.speedIndex = 3;
    }
    ~SimulatedPhone() {
        port.close();
        if (sim)
            sim->stop();
        portMap().setDevice(1, "");
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
        portMap().setDevice(1, sim->slavePath());
        return true;
    }

    // Runs the loop until the condition holds; false when the phone fell silent first.
    bool runUntil(const std::function<bool()>& done) {
        return loop.runUntil(done, kSilence) == EngineLoop::RunResult::Done;
    }

    // START and the whole bring-up; true when the loader phase is ready.
    bool bringUp() {
        engine.start();
        return runUntil(
                   [this] { return engine.LoaderReady == 1 || engine.ProtocolState == IDLE; }) &&
               engine.LoaderReady == 1;
    }

    bool idle() const { return engine.ProtocolState == IDLE; }

    std::size_t violations() const { return sim->violationCount(); }
    std::string summary() const { return sim->summary(); }
    std::vector<std::uint8_t> nor(std::uint32_t offset, std::uint32_t length) const {
        return sim->norRange(offset, length);
    }

    TempDir dir;
    std::unique_ptr<sim::PhoneSimulator> sim;
    EngineLoop loop;
    ScopedLinkOwner owner{&loop};
    CommPort port;
    LoopView view{loop};
    ProtocolEngine engine{port, view};
};

}  // namespace zrk::test

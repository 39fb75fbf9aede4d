#pragma once
// The engine on a real CommPort, a pseudo-terminal away from the phone simulator, driven by the
// Qt-free loop: the command line's set-up, held open across benchmark iterations.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/EngineLoop.h"
#include "protocol/ProtocolEngine.h"
#include "serial/CommPort.h"
#include "serial/PortMap.h"
#include "sim/PhoneSimulator.h"
#include "support/RecordingView.h"

namespace zrk::bench {

class LoopView : public test::RecordingView {
  public:
    explicit LoopView(EngineLoop& loop) : m_Loop(loop) {}
    void startBaudTimer(int milliseconds) override { m_Loop.startTimer(milliseconds); }
    void stopBaudTimer() override { m_Loop.stopTimer(); }
    // A long run must not keep every progress step.
    void setProgressPos(std::uint32_t position) override { progressPos = position; }

  private:
    EngineLoop& m_Loop;
};

class BenchPhone {
  public:
    explicit BenchPhone(sim::SimOptions options, int speedIndex) : m_Sim(options) {
        loop.attach(port);
        loop.onTimer = [this] { engine.onBaudTimer(); };
        view.userChoices.portIndex = 0;
        view.userChoices.speedIndex = speedIndex;
        std::string error;
        if (!m_Sim.start(&error))
            throw std::runtime_error("simulator: " + error);
        ports.setDevice(1, m_Sim.slavePath());
        engine.start(view.userChoices);
        run([this] { return engine.stage() == Stage::Ready || engine.stage() == Stage::Idle; });
        if (engine.stage() != Stage::Ready)
            throw std::runtime_error("the phone did not come up");
    }
    ~BenchPhone() {
        port.close();
        m_Sim.stop();
    }

    void run(const std::function<bool()>& done) {
        if (loop.runUntil(done, std::chrono::seconds(60)) != EngineLoop::RunResult::Done)
            throw std::runtime_error("the phone fell silent");
    }

    // One firmware download through DOWNLOAD; throws unless it completed.
    void download(const std::string& path) {
        view.userChoices.binPath = path;
        view.outcomes.clear();
        engine.download(view.userChoices);
        run([this] { return !view.outcomes.empty(); });
        if (!view.outcomes.back().completed())
            throw std::runtime_error("download failed: " + view.outcomes.back().detail);
        if (m_Sim.violationCount() != 0)
            throw std::runtime_error(m_Sim.summary());
    }

    PortMap ports;
    CommPort port{ports};
    EngineLoop loop;  // after the port, which must outlive its sink
    LoopView view{loop};
    ProtocolEngine engine{port, view};

  private:
    sim::PhoneSimulator m_Sim;
};

// A firmware image of the given size in the temporary folder, removed with the object.
class TempImage {
  public:
    explicit TempImage(std::size_t size) {
        m_Path = (std::filesystem::temp_directory_path() /
                  ("zrk-bench-" + std::to_string(size) + ".bin"))
                     .string();
        std::vector<char> data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<char>(i * 2654435761u >> 13);
        std::ofstream(m_Path, std::ios::binary).write(data.data(), static_cast<long>(size));
    }
    ~TempImage() { std::filesystem::remove(m_Path); }
    const std::string& path() const { return m_Path; }

  private:
    std::string m_Path;
};

}  // namespace zrk::bench

#pragma once
// The port runner's view adapter, seen only by the runner's own files.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DownloaderView.h"
#include "engine/EngineLoop.h"
#include "station/PortRunner.h"

namespace zrk::station {

// The engine's view on the runner's thread: nothing here ever asks anybody, the recipe answers
// for the user; log and progress go out as events, progress no more often than asked.
class PortRunner::View : public DownloaderView {
  public:
    View(PortRunner& runner, EngineLoop& loop) : m_Runner(runner), m_Loop(loop) {}

    std::optional<OperationOutcome> outcome;
    std::string flashName;
    std::function<void(const OperationOutcome&)> onOutcome;

    void appendLog(std::string_view text) override { log(text); }
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
    void heard(const LinkFact& fact) override {
        const auto* flash = std::get_if<FlashNamed>(&fact);
        if (!flash || flash->name.empty())
            return;
        flashName = flash->name;
        StationEvent e;
        e.kind = StationEvent::Kind::Flash;
        e.text = flash->name;
        m_Runner.post(std::move(e));
    }

  private:
    void log(std::string_view text) {
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

}  // namespace zrk::station

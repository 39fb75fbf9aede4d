#pragma once
// Several simulated phones, each behind a port runner, and the window's side of the event
// queue: the events are drained and folded into a tile-like summary per port. Every wait is on
// events with a bound generous enough for a loaded machine with sanitizers.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/PhoneSimulator.h"
#include "station/PortRunner.h"
#include "support/TempDir.h"

namespace zrk::test {

struct TileSummary {
    station::PortState state = station::PortState::Idle;
    std::vector<station::PhoneResult> phones;
    std::string log;
    bool ended = false;
    std::string endWords;
    std::string flash;
    int progressEvents = 0;
};

class Station {
  public:
    static constexpr std::chrono::seconds kBound{180};

    // Starts one strict simulator per entry; runners are made by run().
    bool addPhones(const std::vector<sim::SimOptions>& phones) {
        for (const auto& options : phones) {
            auto sim = std::make_unique<sim::PhoneSimulator>(options);
            std::string error;
            if (!sim->start(&error)) {
                ADD_FAILURE() << "simulator: " << error;
                return false;
            }
            sims.push_back(std::move(sim));
        }
        tiles.resize(sims.size());
        return true;
    }

    // names: what each port is called (COM1, COM2, ... when not given).
    void run(const station::Recipe& recipe, const station::RunOptions& options,
             const std::vector<std::string>& names = {}) {
        for (std::size_t i = 0; i < sims.size(); ++i) {
            station::PortTarget target;
            target.name = i < names.size() ? names[i] : "COM" + std::to_string(i + 1);
            target.device = sims[i]->slavePath();
            runners.push_back(std::make_unique<station::PortRunner>(static_cast<int>(i), target,
                                                                    recipe, options, events));
        }
        for (auto& runner : runners)
            runner->start();
    }

    void stopAll() {
        for (auto& runner : runners)
            runner->stop();
    }

    // Drains the queue until the condition holds; false when the bound passed first.
    bool waitFor(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (true) {
            drain();
            if (condition())
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    bool allEnded() const {
        for (const auto& tile : tiles)
            if (!tile.ended)
                return false;
        return true;
    }

    void drain() {
        for (auto& e : events.take()) {
            TileSummary& tile = tiles.at(static_cast<std::size_t>(e.port));
            switch (e.kind) {
                case station::StationEvent::Kind::State:
                    tile.state = e.state;
                    break;
                case station::StationEvent::Kind::Progress:
                    ++tile.progressEvents;
                    break;
                case station::StationEvent::Kind::Log:
                    tile.log += e.text;
                    break;
                case station::StationEvent::Kind::Flash:
                    tile.flash = e.text;
                    break;
                case station::StationEvent::Kind::Phone:
                    tile.phones.push_back(*e.phone);
                    break;
                case station::StationEvent::Kind::Ended:
                    tile.ended = true;
                    tile.state = e.state;
                    tile.endWords = e.text;
                    break;
            }
        }
    }

    TempDir dir;
    std::vector<std::unique_ptr<sim::PhoneSimulator>> sims;
    station::EventQueue events;
    std::vector<TileSummary> tiles;
    // After the simulators and the queue: a runner ends (closing its port) before they go.
    std::vector<std::unique_ptr<station::PortRunner>> runners;
};

}  // namespace zrk::test

// Several phones at once, as zrk410 --port A --port B ... runs them: one engine, link, watcher
// and loop per port on a thread of its own, against simulators paced at 921600 baud, each in a
// process of its own (zrk410-phonesim) so that this process's CPU time is the host's alone. All
// bring up, then all download 1 MB together.
//  - wire_share_min / wire_share_mean: each port's part of its line's capacity (baud / 10 bytes
//    per second) that became firmware; the lowest and the mean over the ports.
//  - share_vs_single: the lowest port's share over the single port's of the same run (the 1-phone
//    case runs first and is the reference).
//  - cpu_per_port: the host's CPU time during the downloads over their wall time, per port, in
//    parts of one core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <memory>
#include <numeric>
#include <thread>

#include "bench/BenchPhone.h"
#include "serial/LinkSetup.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSpeedIndex = 3;  // 921600
constexpr double kWireBytesPerSecond = 921600 / 10.0;
constexpr std::size_t kImageBytes = 1 << 20;

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

// One port: the simulator as a child process behind it.
class ProcessPhone {
  public:
    ProcessPhone() {
        loop.attach(link.port());
        loop.onTimer = [this] { engine.onBaudTimer(); };
        view.userChoices.portIndex = 0;
        view.userChoices.speedIndex = kSpeedIndex;
        std::string error;
        if (!link.startSimulator({"--pace"}, &error, true))
            throw std::runtime_error("simulator: " + error);
    }
    ~ProcessPhone() { link.stopSimulator(); }

    void run(const std::function<bool()>& done) {
        if (loop.runUntil(done, std::chrono::seconds(120)) != zrk::EngineLoop::RunResult::Done)
            throw std::runtime_error("the phone fell silent");
    }
    void bringUp() {
        engine.start(view.userChoices);
        run([this] { return engine.stage() == zrk::Stage::Ready || !view.outcomes.empty(); });
        if (engine.stage() != zrk::Stage::Ready)
            throw std::runtime_error("the phone did not come up");
    }
    // Seconds from DOWNLOAD to its outcome.
    double download(const std::string& path) {
        view.userChoices.binPath = path;
        view.outcomes.clear();
        const auto start = Clock::now();
        engine.download(view.userChoices);
        run([this] { return !view.outcomes.empty(); });
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!view.outcomes.back().completed())
            throw std::runtime_error("download failed: " + view.outcomes.back().detail);
        return seconds;
    }

    zrk::PortMap ports;
    zrk::LinkSetup link{ports};
    zrk::EngineLoop loop;  // after the link, whose port must outlive its sink
    zrk::bench::LoopView view{loop};
    zrk::ProtocolEngine engine{link.port(), view};
};

double g_SingleShare = 0;

void BM_SeveralPhonesPaced(benchmark::State& state) {
    const int phones = static_cast<int>(state.range(0));
    zrk::bench::TempImage image(kImageBytes);
    std::vector<double> shares;
    double cpuPerPort = 0;
    for (auto _ : state) {
        std::vector<double> seconds(static_cast<std::size_t>(phones), 0);
        std::vector<std::string> errors(static_cast<std::size_t>(phones));
        double cpuStart = 0, cpuEnd = 0;
        Clock::time_point wallStart, wallEnd;
        // Everyone up, then the clock, then every download at once, then the clock again.
        std::barrier up(phones + 1), done(phones + 1);
        std::vector<std::thread> threads;
        for (int i = 0; i < phones; ++i) {
            threads.emplace_back([&, i] {
                std::unique_ptr<ProcessPhone> phone;
                try {
                    phone = std::make_unique<ProcessPhone>();
                    phone->bringUp();
                } catch (const std::exception& e) {
                    errors[static_cast<std::size_t>(i)] = e.what();
                }
                up.arrive_and_wait();
                up.arrive_and_wait();  // the clock has started
                try {
                    if (phone && errors[static_cast<std::size_t>(i)].empty())
                        seconds[static_cast<std::size_t>(i)] = phone->download(image.path());
                } catch (const std::exception& e) {
                    errors[static_cast<std::size_t>(i)] = e.what();
                }
                done.arrive_and_wait();
            });
        }
        up.arrive_and_wait();
        wallStart = Clock::now();
        cpuStart = processCpuSeconds();
        up.arrive_and_wait();
        done.arrive_and_wait();
        cpuEnd = processCpuSeconds();
        wallEnd = Clock::now();
        for (auto& t : threads)
            t.join();
        for (const auto& e : errors)
            if (!e.empty()) {
                state.SkipWithError(e.c_str());
                return;
            }
        for (const double s : seconds)
            shares.push_back(static_cast<double>(kImageBytes) / s / kWireBytesPerSecond);
        const double wall = std::chrono::duration<double>(wallEnd - wallStart).count();
        cpuPerPort = (cpuEnd - cpuStart) / wall / phones;
    }
    const double lowest = *std::min_element(shares.begin(), shares.end());
    const double mean = std::accumulate(shares.begin(), shares.end(), 0.0) / shares.size();
    if (phones == 1)
        g_SingleShare = mean;
    state.counters["wire_share_min"] = lowest;
    state.counters["wire_share_mean"] = mean;
    if (g_SingleShare > 0)
        state.counters["share_vs_single"] = lowest / g_SingleShare;
    state.counters["cpu_per_port"] = cpuPerPort;
}
BENCHMARK(BM_SeveralPhonesPaced)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

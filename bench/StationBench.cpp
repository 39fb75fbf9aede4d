// The station window serving several ports at once, as a production line runs it: the real
// window (offscreen), one runner per port, each against a simulator paced at 921600 baud in a
// process of its own (zrk410-phonesim), so that this process's CPU time is the host's alone.
// Every port brings its phone up and downloads 1 MB.
//  - wire_share_min / wire_share_mean: each port's part of its line's capacity (baud / 10 bytes
//    per second) that became firmware during its download; the lowest and the mean.
//  - share_vs_single: the lowest port's share over that of one port alone (the 1-port case runs
//    first and is the reference).
//  - ui_thread_load: the window thread's CPU time over the run's wall time, in parts of one core:
//    draining the runners' news and drawing the tiles.
//  - log_lines_per_second: the lines the ports' logs grew by, all ports together.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <numeric>

#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "app/dialogs/StationWindow.h"
#include "bench/BenchPhone.h"
#include "serial/SimulatorProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kWireBytesPerSecond = 921600 / 10.0;
constexpr std::size_t kImageBytes = 1 << 20;

class SilentPrompter : public zrk::Prompter {
  public:
    void message(QWidget*, const QString&, zrk::MessageIcon, const QString&) override {}
    bool askYesNo(QWidget*, const QString&, zrk::DefaultAnswer) override { return true; }
    QString openFile(QWidget*, const zrk::FileDialogRequest&) override { return {}; }
    QString saveFile(QWidget*, const zrk::FileDialogRequest&) override { return {}; }
    std::optional<QString> askText(QWidget*, const QString&, const QString&,
                                   const QString&) override {
        return std::nullopt;
    }
    int runDialog(QDialog&) override { return 0; }
};

double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double g_SingleShare = 0;

void BM_StationPaced(benchmark::State& state) {
    const int ports = static_cast<int>(state.range(0));
    zrk::bench::TempImage image(kImageBytes);
    std::vector<double> shares;
    double uiLoad = 0;
    double eventsPerSecond = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        zrk::SettingsStore settings(dir.filePath("settings.ini"));
        SilentPrompter prompter;
        std::vector<std::unique_ptr<zrk::SimulatorProcess>> sims;
        zrk::StationWindow window(settings, prompter);
        zrk::station::Recipe recipe;
        recipe.binPath = image.path();
        recipe.speedIndex = 3;
        window.setRecipe(recipe);
        for (int i = 0; i < ports; ++i) {
            auto sim = std::make_unique<zrk::SimulatorProcess>();
            std::string error;
            if (!sim->start(zrk::SimulatorProcess::locate(), {"--pace"}, &error, true)) {
                state.SkipWithError(("simulator: " + error).c_str());
                return;
            }
            window.addDevicePath(QString::fromStdString(sim->devicePath()));
            sims.push_back(std::move(sim));
        }
        window.show();

        const auto wallStart = Clock::now();
        const double cpuStart = threadCpuSeconds();
        window.startAll();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!window.running())
                loop.quit();
        });
        poll.start(200);
        QTimer::singleShot(std::chrono::minutes(5), &loop, &QEventLoop::quit);
        loop.exec();
        window.drainEvents();
        const double cpu = threadCpuSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
        uiLoad = cpu / wall;

        std::size_t events = 0;
        for (std::size_t i = 0; i < window.tiles().size(); ++i)
            events += static_cast<std::size_t>(window.portLog(static_cast<int>(i)).count('\n'));
        for (const auto& port : window.records()) {
            const zrk::report::OperationRecord* download = nullptr;
            for (const auto& phone : port.phones)
                for (const auto& op : phone.operations)
                    if (op.operation == zrk::Operation::Firmware &&
                        op.outcome == zrk::OutcomeKind::Completed)
                        download = &op;
            if (!download) {
                state.SkipWithError(("no download on " + port.port).c_str());
                return;
            }
            const double seconds =
                std::chrono::duration<double>(download->ended - download->started).count();
            shares.push_back(static_cast<double>(download->bytes) / seconds / kWireBytesPerSecond);
        }
        eventsPerSecond = static_cast<double>(events) / wall;
    }
    const double lowest = *std::min_element(shares.begin(), shares.end());
    const double mean = std::accumulate(shares.begin(), shares.end(), 0.0) / shares.size();
    if (ports == 1)
        g_SingleShare = mean;
    state.counters["wire_share_min"] = lowest;
    state.counters["wire_share_mean"] = mean;
    if (g_SingleShare > 0)
        state.counters["share_vs_single"] = lowest / g_SingleShare;
    state.counters["ui_thread_load"] = uiLoad;
    state.counters["log_lines_per_second"] = eventsPerSecond;
}
BENCHMARK(BM_StationPaced)
    ->Arg(1)
    ->Arg(8)
    ->Arg(32)  // a production line's hub
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The window is drawn, but nowhere to be seen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// What a read-back verify costs, against the paced simulator at 921600 baud: the verify of an
// image that fills whole sectors next to a dump of the same sectors. verify_per_dump is the figure
// to read; both move the same 8 KB blocks with the same stop-and-wait, so it stays near 1.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "bench/BenchPhone.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void runToOutcome(zrk::bench::BenchPhone& phone, const char* what) {
    phone.run([&] { return !phone.view.outcomes.empty(); });
    if (!phone.view.outcomes.back().completed())
        throw std::runtime_error(std::string(what) +
                                 " failed: " + phone.view.outcomes.back().detail);
}

void BM_VerifyAgainstDump(benchmark::State& state) {
    const int sectors = static_cast<int>(state.range(0));
    zrk::sim::SimOptions options;
    options.pacing = true;
    zrk::bench::BenchPhone phone(options, 3);
    zrk::bench::TempImage image(static_cast<std::size_t>(sectors) * 65536);
    phone.download(image.path());
    const std::string dumpPath =
        (std::filesystem::temp_directory_path() / "zrk-bench-verify-dump.hex").string();
    phone.view.sectorsToSelect.clear();
    for (int i = 0; i < sectors; ++i)
        phone.view.sectorsToSelect.push_back(i);
    phone.view.saveFileAnswer = dumpPath;
    double verifyTotal = 0;
    double dumpTotal = 0;
    for (auto _ : state) {
        phone.view.outcomes.clear();
        auto start = Clock::now();
        phone.engine.verify(phone.view.userChoices);
        runToOutcome(phone, "verify");
        const double verify = seconds(start);
        phone.view.outcomes.clear();
        start = Clock::now();
        phone.engine.dump(phone.view.userChoices);
        runToOutcome(phone, "dump");
        const double dump = seconds(start);
        verifyTotal += verify;
        dumpTotal += dump;
        state.SetIterationTime(verify);
    }
    std::filesystem::remove(dumpPath);
    state.counters["verify_s"] = verifyTotal / static_cast<double>(state.iterations());
    state.counters["dump_s"] = dumpTotal / static_cast<double>(state.iterations());
    state.counters["verify_per_dump"] = verifyTotal / dumpTotal;
}
BENCHMARK(BM_VerifyAgainstDump)
    ->Arg(8)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();

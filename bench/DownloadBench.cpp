// Firmware download against the simulated phone.
//  - Paced: the simulator lets bytes leave at the line's real rate, so the figure to read is
//    wire_share, the part of the line's capacity (baud / 10 bytes per second) the protocol
//    turns into firmware. Stop-and-wait per 2 KB block bounds it below 1.
//  - Unpaced: the line is as fast as the pseudo-terminal; CPU time per megabyte is the host's
//    own cost (engine, port, watcher) plus the simulator's, both in this process.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/BenchPhone.h"

namespace {

constexpr unsigned kBauds[] = {115200, 230400, 460800, 921600};

void BM_DownloadPaced(benchmark::State& state) {
    const int speedIndex = static_cast<int>(state.range(0));
    const std::size_t size = static_cast<std::size_t>(state.range(1));
    zrk::sim::SimOptions options;
    options.pacing = true;
    zrk::bench::BenchPhone phone(options, speedIndex);
    zrk::bench::TempImage image(size);
    for (auto _ : state)
        phone.download(image.path());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    const double wireBytesPerSecond = kBauds[speedIndex] / 10.0;
    state.counters["wire_share"] = benchmark::Counter(
        static_cast<double>(size) * static_cast<double>(state.iterations()) / wireBytesPerSecond,
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DownloadPaced)
    ->Args({3, 256 << 10})
    ->Args({0, 64 << 10})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_DownloadUnpaced(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    zrk::bench::BenchPhone phone({}, 3);
    zrk::bench::TempImage image(size);
    for (auto _ : state)
        phone.download(image.path());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["cpu_s_per_MB"] =
        benchmark::Counter(static_cast<double>(state.iterations() * size) / (1 << 20),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DownloadUnpaced)
    ->Arg(4 << 20)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();

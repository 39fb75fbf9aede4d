// The host's hot paths without a line: checksums over a firmware image and a dump block, and
// the receive queue between the watcher and the protocol thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/Checksums.h"
#include "serial/ReceiveQueue.h"

namespace {

void BM_Crc32(benchmark::State& state) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    for (auto _ : state)
        benchmark::DoNotOptimize(zrk::crc32(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Crc32)->Arg(1 << 20);

void BM_Sum8Block(benchmark::State& state) {
    std::vector<std::uint8_t> block(8192, 0xA5);
    for (auto _ : state)
        benchmark::DoNotOptimize(zrk::sum8(block.data(), block.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}
BENCHMARK(BM_Sum8Block);

// One producer thread pushing read bursts, the benchmark thread popping byte by byte as the
// protocol thread does.
void BM_ReceiveQueueBytewise(benchmark::State& state) {
    zrk::ReceiveQueue queue;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<std::uint8_t> burst(4096, 0x4F);
        while (!done.load(std::memory_order_relaxed)) {
            if (queue.pushBlock(burst.data(), burst.size()) == 0)
                std::this_thread::yield();
        }
    });
    std::int64_t taken = 0;
    std::uint8_t byte = 0;
    for (auto _ : state) {
        for (int i = 0; i < 4096; ++i) {
            while (!queue.pop(byte)) {
            }
        }
        taken += 4096;
    }
    done = true;
    producer.join();
    state.SetBytesProcessed(taken);
}
BENCHMARK(BM_ReceiveQueueBytewise)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

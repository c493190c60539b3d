// Render cost of the drum voice: blocks of 256 frames at 48 kHz with a hit
// every half second, reported as ns per sample.
#include <benchmark/benchmark.h>

#include <array>

#include "instrument/voice/DrumVoice.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kSamplesPerHit = 24000;

void RenderBlocks(benchmark::State& state)
{
    DrumVoice voice;
    voice.SetSampleRate(kRate);
    voice.ApplyParam(0, 0.0);
    for (int index = 1; index <= 8; ++index)
        voice.ApplyParam(index, 0.5);
    std::array<float, kBlock> block{};
    int untilHit = 0;
    for (auto _ : state) {
        for (float& sample : block) {
            if (untilHit-- == 0) {
                voice.SetNote(33);
                voice.Trigger();
                untilHit = kSamplesPerHit - 1;
            }
            sample = voice.NextSample();
        }
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    const auto samples = static_cast<double>(state.iterations()) * kBlock;
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}

}  // namespace

BENCHMARK(RenderBlocks);
BENCHMARK_MAIN();

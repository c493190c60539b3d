// Render cost of the drum voice: blocks of 256 frames at 48 kHz with a hit
// every half second, reported as ns per sample. Measured one sample at a
// time (NextSample), by block (Render), and through the instrument's audio
// callback with the hits as MIDI note-ons.
#include <benchmark/benchmark.h>

#include "bench/voice/VoiceWorkload.h"

using namespace voicebench;

namespace {

void ReportPerSample(benchmark::State& state)
{
    const auto samples = static_cast<double>(state.iterations()) * kBlock;
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}

void RenderBlocks(benchmark::State& state)
{
    DrumVoice voice;
    SetUpVoice(voice);
    std::array<float, kBlock> block{};
    int untilHit = 0;
    for (auto _ : state) {
        BlockBySample(voice, block, untilHit);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    ReportPerSample(state);
}

void RenderBlocksByRender(benchmark::State& state)
{
    DrumVoice voice;
    SetUpVoice(voice);
    std::array<float, kBlock> block{};
    int untilHit = 0;
    for (auto _ : state) {
        BlockByRender(voice, block, untilHit);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    ReportPerSample(state);
}

void RenderBlocksThroughInstrument(benchmark::State& state)
{
    auto plug = MakeStartedInstrument();
    std::array<double, kBlock> left{}, right{};
    int untilHit = 0;
    for (auto _ : state) {
        BlockThroughInstrument(*plug, left, right, untilHit);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    ReportPerSample(state);
}

}  // namespace

BENCHMARK(RenderBlocks);
BENCHMARK(RenderBlocksByRender);
BENCHMARK(RenderBlocksThroughInstrument);
BENCHMARK_MAIN();

// Render cost of the drum voice: blocks of 256 frames at 48 kHz with a hit
// every half second, reported as ns per sample. Measured one sample at a
// time (NextSample), by block (Render), and through the instrument's audio
// callback with the hits as MIDI note-ons.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/voice/VoiceWorkload.h"
#include "instrument/voice/NoiseCatchUp.h"
#include "instrument/voice/VoiceStages.h"

using namespace voicebench;

namespace {

void ReportPerSample(benchmark::State& state) {
  const auto samples = static_cast<double>(state.iterations()) * kBlock;
  state.counters["ns_per_sample"] =
      benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(static_cast<int64_t>(samples));
}

void RenderBlocks(benchmark::State& state) {
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

void RenderBlocksByRender(benchmark::State& state, VoiceLanes lanes) {
  SelectVoiceLanes(lanes);
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

void RenderBlocksThroughInstrument(benchmark::State& state, VoiceLanes lanes) {
  SelectVoiceLanes(lanes);
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

// The noise filters brought forward over a skip of state.range(0) samples,
// as after the tail between two hits half a second apart, against running
// every one of those samples.
void NoiseFiltersCaughtUp(benchmark::State& state, bool everySample) {
  NoiseHighPass high;
  NoiseLowPass low;
  high.SetSampleRate(kRate);
  low.SetSampleRate(kRate);
  const NoiseFilterCoefficients c = {high.b, high.r, low.g, low.r};
  const NoiseFilterValues resting = RunNoiseFilters(c, {0.7f, 0.0f, 0.0f, 0.0f}, 1u, 24000u);
  const auto steps = static_cast<uint64_t>(state.range(0));
  auto scratch = std::make_unique<VoiceStretch>();
  uint32_t generator = 12345u;
  for (auto _ : state) {
    generator = generator * 69069u + 1u;
    const NoiseFilterValues v = everySample ? RunNoiseFilters(c, resting, generator, steps)
                                            : CatchUpNoiseFilters(c, resting, generator, steps, *scratch);
    benchmark::DoNotOptimize(v);
  }
  state.counters["us_per_catch_up"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-6,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

// The block benchmarks once per instruction set this processor offers; the
// sample-by-sample one does not depend on it.
int main(int argc, char** argv) {
  const VoiceLaneTimes times = TimeVoiceLanes();
  std::printf("Lane set the instrument chooses by timing here: %s (", VoiceLanesName(FastestVoiceLanes(times)));
  for (VoiceLanes lanes : {VoiceLanes::Sse2, VoiceLanes::Avx2, VoiceLanes::Avx512})
    if (VoiceLanesAvailable(lanes))
      std::printf(" %s %.1f us", VoiceLanesName(lanes), times.seconds[static_cast<int>(lanes)] * 1e6);
  std::printf(" )\n");
  benchmark::RegisterBenchmark("RenderBlocks", RenderBlocks);
  for (VoiceLanes lanes : {VoiceLanes::Avx512, VoiceLanes::Avx2, VoiceLanes::Sse2}) {
    if (!VoiceLanesAvailable(lanes)) continue;
    const std::string name = VoiceLanesName(lanes);
    benchmark::RegisterBenchmark(("RenderBlocksByRender/" + name).c_str(), RenderBlocksByRender, lanes);
    benchmark::RegisterBenchmark(("RenderBlocksThroughInstrument/" + name).c_str(), RenderBlocksThroughInstrument,
                                 lanes);
  }
  benchmark::RegisterBenchmark("NoiseFiltersCaughtUp", NoiseFiltersCaughtUp, false)->Arg(20000);
  benchmark::RegisterBenchmark("NoiseFiltersRunEverySample", NoiseFiltersCaughtUp, true)->Arg(20000);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

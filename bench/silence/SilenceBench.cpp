// Cost per sample while a hit sounds against the cost in the silence long
// after it, through the audio callback with its subnormal guard. Once the
// voice has settled its blocks are skipped: the silence should cost a
// small fraction of the sound (and the decay before it no more than the
// sound, which a tail crawling through subnormal numbers would). The
// settled voice alone, and the silence with the skip switched off, are
// measured alongside for comparison, as is the unguarded voice.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "instrument/Thudrix.h"
#include "tests/instrument/StartedThudrix.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kBlock = 480;  // 10 ms

// An instance with the longest settings, so its tail lasts longest.
std::unique_ptr<Thudrix> MakeVoiceWithLongTail() {
  UseEmptyPresetRoot();
  auto plug = MakeStartedThudrix(&QuietHost, float(kRate), kBlock);
  for (int32_t i = 1; i <= 8; ++i) plug->Effect()->setParameter(plug->Effect(), i, 1.0f);
  return plug;
}

void RenderBlocks(Thudrix& plug, int64_t blocks) {
  static std::vector<float> left(kBlock), right(kBlock);
  float* outs[] = {left.data(), right.data()};
  vst2::VstEffect* e = plug.Effect();
  for (int64_t b = 0; b < blocks; ++b) e->processReplacing(e, nullptr, outs, kBlock);
  benchmark::DoNotOptimize(left.data());
}

// The first half second of a hit, re-triggered every time.
void BM_WhileAHitSounds(benchmark::State& state) {
  auto plug = MakeVoiceWithLongTail();
  for (auto _ : state) {
    plug->Effect()->setParameter(plug->Effect(), kParamTrigger, 1.0f);
    RenderBlocks(*plug, 50);
  }
  state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * 50 * kBlock,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Half-second stretches of the silence ten minutes after a hit.
void BM_SilenceTenMinutesAfterAHit(benchmark::State& state) {
  auto plug = MakeVoiceWithLongTail();
  plug->Effect()->setParameter(plug->Effect(), kParamTrigger, 1.0f);
  RenderBlocks(*plug, int64_t(kRate) * 600 / kBlock);
  for (auto _ : state) RenderBlocks(*plug, 50);
  state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * 50 * kBlock,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The same with every sample worked out, as before the skip.
void BM_SilenceWithoutTheSkip(benchmark::State& state) {
  auto plug = MakeVoiceWithLongTail();
  plug->Effect()->setParameter(plug->Effect(), kParamTrigger, 1.0f);
  RenderBlocks(*plug, int64_t(kRate) * 600 / kBlock);
  DrumVoice::EnableSettledSkip(false);
  for (auto _ : state) RenderBlocks(*plug, 50);
  DrumVoice::EnableSettledSkip(true);
  state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * 50 * kBlock,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The settled voice by itself, in blocks of 480.
void BM_SettledVoiceAlone(benchmark::State& state) {
  auto plug = MakeVoiceWithLongTail();
  DrumVoice& voice = plug->Voice();
  voice.SetNote(Thudrix::kBaseNote);
  voice.Trigger();
  std::vector<float> block(kBlock);
  for (int64_t b = 0; b < int64_t(kRate) * 600 / kBlock; ++b) voice.Render(block.data(), kBlock);
  for (auto _ : state) {
    voice.Render(block.data(), kBlock);
    benchmark::DoNotOptimize(block.data());
  }
  state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * kBlock,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The first block of a hit after a minute of settled silence: the noise
// filters catch up here, so this is the most one block costs.
void BM_FirstBlockAfterSettledSilence(benchmark::State& state) {
  auto plug = MakeVoiceWithLongTail();
  vst2::VstEffect* e = plug->Effect();
  e->setParameter(e, kParamTrigger, 1.0f);
  RenderBlocks(*plug, int64_t(kRate) * 600 / kBlock);
  for (auto _ : state) {
    state.PauseTiming();
    RenderBlocks(*plug, int64_t(kRate) * 60 / kBlock);
    e->setParameter(e, kParamTrigger, 1.0f);
    state.ResumeTiming();
    RenderBlocks(*plug, 1);
    state.PauseTiming();
    // Long enough for the tail to settle again.
    RenderBlocks(*plug, int64_t(kRate) * 120 / kBlock);
    state.ResumeTiming();
  }
}

// The decay between 2 s and 60 s after a hit, where a tail without flushing
// would pass through the subnormal range.
void BM_DecayAfterAHit(benchmark::State& state) {
  auto plug = MakeVoiceWithLongTail();
  int64_t rendered = 0;
  for (auto _ : state) {
    if (rendered % (int64_t(kRate) * 58) == 0) {
      state.PauseTiming();
      plug->Effect()->setParameter(plug->Effect(), kParamTrigger, 1.0f);
      RenderBlocks(*plug, int64_t(kRate) * 2 / kBlock);
      state.ResumeTiming();
    }
    RenderBlocks(*plug, 50);
    rendered += 50 * kBlock;
  }
  state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * 50 * kBlock,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The voice alone without the guard, in the caller's mode, for comparison.
void BM_UnguardedVoiceDecay(benchmark::State& state) {
  auto plug = MakeVoiceWithLongTail();
  DrumVoice& voice = plug->Voice();
  int64_t rendered = 0;
  float sink = 0.0f;
  for (auto _ : state) {
    if (rendered % (int64_t(kRate) * 58) == 0) {
      state.PauseTiming();
      voice.SetNote(Thudrix::kBaseNote);
      voice.Trigger();
      for (int32_t s = 0; s < kRate * 2; ++s) sink += voice.NextSample();
      state.ResumeTiming();
    }
    for (int32_t s = 0; s < 50 * kBlock; ++s) sink += voice.NextSample();
    rendered += 50 * kBlock;
  }
  benchmark::DoNotOptimize(sink);
  state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * 50 * kBlock,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_WhileAHitSounds)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SilenceTenMinutesAfterAHit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SilenceWithoutTheSkip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SettledVoiceAlone);
BENCHMARK(BM_FirstBlockAfterSettledSilence)->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK(BM_DecayAfterAHit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnguardedVoiceDecay)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <xmmintrin.h>

#include "instrument/voice/DrumVoice.h"
#include "instrument/voice/NoiseCatchUp.h"
#include "tests/voice/Bits.h"
#include "tests/voice/VoiceScenario.h"

namespace {

TEST(NoiseCatchUp, GeneratorJumpsAsManyStepsAsItWouldTake) {
  for (uint32_t start : {0u, 1u, 0x80000000u, 0xdeadbeefu}) {
    uint32_t stepped = start;
    for (uint64_t k = 0; k <= 5000; ++k) {
      ASSERT_EQ(JumpNoiseState(start, k), stepped) << start << " after " << k;
      stepped = NextNoiseState(stepped);
    }
    // The period is 2^32.
    EXPECT_EQ(JumpNoiseState(start, (uint64_t{1} << 32) + 7), JumpNoiseState(start, 7));
  }
}

NoiseFilterCoefficients FiltersAt(double rate) {
  NoiseHighPass high;
  NoiseLowPass low;
  high.SetSampleRate(rate);
  low.SetSampleRate(rate);
  return {high.b, high.r, low.g, low.r};
}

void ExpectSameValues(const NoiseFilterValues& a, const NoiseFilterValues& b) {
  EXPECT_EQ(Bits(a.highPassIn), Bits(b.highPassIn));
  EXPECT_EQ(Bits(a.highPassOut), Bits(b.highPassOut));
  EXPECT_EQ(Bits(a.lowPassIn), Bits(b.lowPassIn));
  EXPECT_EQ(Bits(a.lowPassOut), Bits(b.lowPassOut));
}

TEST(NoiseCatchUp, FiltersCaughtUpFromTheirBoundsMatchEverySampleRun) {
  auto scratch = std::make_unique<VoiceStretch>();
  // Resting values, far-off values (as after a change of rate) and zeros.
  const NoiseFilterValues starts[] = {
      {1.2383f, 0.5041f, 0.0f, 0.0f}, {0.7f, -300.0f, 250.0f, 40.0f}, {0.0f, 0.0f, -0.0f, 0.0f}};
  for (double rate : {8000.0, 44100.0, 96000.0, 192000.0}) {
    const NoiseFilterCoefficients c = FiltersAt(rate);
    ASSERT_TRUE(NoiseFiltersBoundable(c, starts[0]));
    for (const NoiseFilterValues& v : starts) {
      for (uint64_t steps : {1u, 5000u, 300000u, 2000000u}) {
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << steps << " steps from " << v.highPassOut);
        ExpectSameValues(CatchUpNoiseFilters(c, v, 12345u + uint32_t(steps), steps, *scratch),
                         RunNoiseFilters(c, v, 12345u + uint32_t(steps), steps));
      }
    }
  }
}

TEST(NoiseCatchUp, UnboundableFiltersAreRunInFull) {
  const NoiseFilterValues nan = {1.0f, NAN, 0.0f, 0.0f};
  EXPECT_FALSE(NoiseFiltersBoundable(FiltersAt(48000.0), nan));
  // Below about 1.75 kHz the low-pass's feedback turns positive.
  EXPECT_FALSE(NoiseFiltersBoundable(FiltersAt(1000.0), {1.0f, 0.0f, 0.0f, 0.0f}));
  const NoiseFilterCoefficients slow = FiltersAt(1000.0);
  auto scratch = std::make_unique<VoiceStretch>();
  ExpectSameValues(CatchUpNoiseFilters(slow, {1.0f, 0.3f, 0.1f, 0.0f}, 99u, 100000u, *scratch),
                   RunNoiseFilters(slow, {1.0f, 0.3f, 0.1f, 0.0f}, 99u, 100000u));
}

// Flush-to-zero and denormals-are-zero as the audio callback sets them.
class FlushMode {
public:
  explicit FlushMode(bool flush) : saved_(_mm_getcsr()) {
    if (flush) _mm_setcsr(saved_ | 0x8040u);
  }
  ~FlushMode() { _mm_setcsr(saved_); }

private:
  unsigned saved_;
};

// The estimate the catch-up starts from must hold the real output, and be
// narrow enough to save the work: random generator states, filter values
// as a voice leaves them and far-off ones, skips of up to a few seconds and
// of half a minute, with and without flushing.
TEST(NoiseCatchUp, EstimatedHighPassHoldsTheRunOutputAndCatchUpMatches) {
  auto scratch = std::make_unique<VoiceStretch>();
  std::mt19937 random(7);
  for (bool flush : {false, true}) {
    FlushMode mode(flush);
    for (double rate : {8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
      const NoiseFilterCoefficients c = FiltersAt(rate);
      for (int trial = 0; trial < 12; ++trial) {
        const uint32_t state = static_cast<uint32_t>(random());
        // Every third skip is half a minute long: only its last moments count.
        const uint64_t steps = trial % 3 == 2 ? static_cast<uint64_t>(30.0 * rate) + random() % 999u
                                              : 2000u + random() % static_cast<uint32_t>(2.0 * rate);
        // A voice's own values first, then values far from any it reaches.
        NoiseFilterValues v = RunNoiseFilters(c, {0.7f, 0.0f, 0.0f, 0.0f}, state ^ 99u, 3000u + random() % 999u);
        if (trial % 4 == 3) v = {1.5f, -40.0f, 25.0f, -3.0f};
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << steps << " steps, flush " << flush);
        const NoiseFilterValues run = RunNoiseFilters(c, v, state, steps);
        const HighPassInterval h = EstimateHighPass(c, v, state, steps, *scratch);
        EXPECT_LE(std::fabs(run.highPassOut - h.centre), h.halfWidth);
        // Far-off values widen it with the roundings they cause.
        if (trial % 4 != 3) {
          EXPECT_LT(h.halfWidth, 3e-3);
        }
        ExpectSameValues(CatchUpNoiseFilters(c, v, state, steps, *scratch), run);
      }
    }
  }
}

// A session with minutes of silence between hits: what happens before
// sample s, hits and parameter changes falling inside blocks.
struct Session {
  struct Event {
    int64_t sample;
    std::function<void(DrumVoice&)> act;
  };
  double rate;
  int64_t length;
  std::vector<Event> events;
};

Session LongSilences(double rate) {
  const auto at = [rate](double seconds) { return static_cast<int64_t>(seconds * rate) + 37; };
  Session session{rate, at(330.0), {}};
  const auto add = [&session](int64_t s, std::function<void(DrumVoice&)> act) {
    session.events.push_back({s, std::move(act)});
  };
  add(at(0.0), [](DrumVoice& v) { PadHit(v); });
  // While the tail still rings, then long after it settled.
  add(at(40.0), [](DrumVoice& v) { v.ApplyParam(2, 0.2); });
  add(at(100.0), [](DrumVoice& v) { v.ApplyParam(6, 0.9); });
  add(at(101.5), [](DrumVoice& v) { v.ApplyParam(1, 0.8); });
  add(at(102.0), [](DrumVoice& v) { v.ApplyParam(5, 1.0); });
  add(at(130.0), [](DrumVoice& v) { MidiHit(v, 40, 100); });
  add(at(130.0) + 1, [](DrumVoice& v) { MidiHit(v, 45, 30); });
  // A host resuming at the same rate, and switching rates and back.
  add(at(110.0), [rate](DrumVoice& v) { v.SetSampleRate(rate); });
  add(at(200.0), [rate](DrumVoice& v) { v.SetSampleRate(rate * 2.0); });
  add(at(201.0), [rate](DrumVoice& v) { v.SetSampleRate(rate); });
  add(at(230.0), [](DrumVoice& v) { v.ApplyParam(0, -7.0); });
  add(at(231.0), [](DrumVoice& v) { v.ApplyParam(7, 0.0); });
  add(at(232.0), [](DrumVoice& v) { PadHit(v); });
  add(at(232.0) + 300, [](DrumVoice& v) { PadHit(v); });
  add(at(320.0), [](DrumVoice& v) { v.ApplyParam(6, 0.1); });
  add(at(321.0), [](DrumVoice& v) { v.ApplyParam(4, 0.3); });
  add(at(325.0), [](DrumVoice& v) { PadHit(v); });
  return session;
}

// Renders the session in blocks, each cut where an event falls; returns
// the samples, and notes the high-pass output as it reads at each event
// (a skip leaves it behind until the voice needs it).
std::vector<float> Play(const Session& session, int block, bool skip, std::vector<uint32_t>* filterAtEvents) {
  DrumVoice::EnableSettledSkip(skip);
  DrumVoice voice;
  voice.SetSampleRate(session.rate);
  ApplyDefaults(voice);
  std::vector<float> out(static_cast<size_t>(session.length));
  size_t next = 0;
  for (int64_t s = 0; s < session.length;) {
    while (next < session.events.size() && session.events[next].sample == s) {
      filterAtEvents->push_back(Bits(voice.HighPass().out));
      session.events[next++].act(voice);
    }
    int64_t end = s + block < session.length ? s + block : session.length;
    if (next < session.events.size() && session.events[next].sample < end) end = session.events[next].sample;
    voice.Render(out.data() + s, static_cast<int32_t>(end - s));
    s = end;
  }
  DrumVoice::EnableSettledSkip(true);
  return out;
}

void ExpectSkipChangesNoBit(bool flush) {
  FlushMode mode(flush);
  const struct {
    double rate;
    int block;
  } runs[] = {{44100.0, 256}, {48000.0, 4800}, {96000.0, 100}, {22050.0, 3}};
  for (const auto& run : runs) {
    SCOPED_TRACE(testing::Message() << run.rate << " Hz, blocks of " << run.block);
    const Session session = LongSilences(run.rate);
    std::vector<uint32_t> skippedFilter, fullFilter;
    const std::vector<float> skipped = Play(session, run.block, true, &skippedFilter);
    const std::vector<float> full = Play(session, run.block, false, &fullFilter);
    EXPECT_NE(skippedFilter, fullFilter) << "the voice never settled";
    ASSERT_EQ(skipped.size(), full.size());
    for (size_t i = 0; i < full.size(); ++i) ASSERT_EQ(Bits(skipped[i]), Bits(full[i])) << "sample " << i;
  }
}

TEST(SettledSkip, MinutesOfSilenceBetweenHitsRenderTheSameBits) { ExpectSkipChangesNoBit(false); }

TEST(SettledSkip, MinutesOfSilenceBetweenHitsRenderTheSameBitsWhenFlushingToZero) { ExpectSkipChangesNoBit(true); }

// After a skip the voice carries on sample by sample, changes rate and
// reads back every value as if nothing had been skipped.
TEST(SettledSkip, CaughtUpVoiceMatchesOneThatRanEverySample) {
  DrumVoice skipping, running;
  for (DrumVoice* v : {&skipping, &running}) {
    v->SetSampleRate(48000.0);
    ApplyDefaults(*v);
    PadHit(*v);
  }
  std::vector<float> a(48000), b(48000);
  for (int second = 0; second < 120; ++second) {
    DrumVoice::EnableSettledSkip(true);
    skipping.Render(a.data(), 48000);
    DrumVoice::EnableSettledSkip(false);
    running.Render(b.data(), 48000);
  }
  DrumVoice::EnableSettledSkip(true);
  // Settled long before: the skipping voice's oscillator has fallen behind.
  EXPECT_NE(Bits(skipping.Osc().Phase()), Bits(running.Osc().Phase()));
  skipping.SetSampleRate(44100.0);
  running.SetSampleRate(44100.0);
  EXPECT_EQ(skipping.NoiseState(), running.NoiseState());
  EXPECT_EQ(Bits(skipping.HighPass().out), Bits(running.HighPass().out));
  EXPECT_EQ(Bits(skipping.LowPass().out), Bits(running.LowPass().out));
  EXPECT_EQ(Bits(skipping.LowPass().in), Bits(running.LowPass().in));
  EXPECT_EQ(Bits(skipping.Osc().Phase()), Bits(running.Osc().Phase()));
  EXPECT_EQ(skipping.AmpEnv().Count(), running.AmpEnv().Count());
  EXPECT_EQ(skipping.SampleCount(), running.SampleCount());
  skipping.Render(a.data(), 1000);
  running.Render(b.data(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(Bits(a[size_t(i)]), Bits(b[size_t(i)])) << "sample " << i;
  for (int i = 0; i < 3000; ++i) {
    if (i == 100) {
      skipping.Trigger();
      running.Trigger();
    }
    ASSERT_EQ(Bits(skipping.NextSample()), Bits(running.NextSample())) << "sample " << i;
  }
}

}  // namespace

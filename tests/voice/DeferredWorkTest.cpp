// Work the voice leaves for later while nobody can hear it: the noise
// filters wait while the click stage draws no current, and decaying
// envelopes step as one float product. Neither may change a bit of the
// output, whatever the host does in between.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include <xmmintrin.h>

#include "instrument/voice/DrumVoice.h"
#include "tests/voice/Bits.h"
#include "tests/voice/VoiceLanes.h"
#include "tests/voice/VoiceScenario.h"

namespace {

class ControlMode {
public:
  explicit ControlMode(unsigned bits) : saved_(_mm_getcsr()) { _mm_setcsr((saved_ & ~0x8040u) | bits); }
  ~ControlMode() { _mm_setcsr(saved_); }

private:
  unsigned saved_;
};

constexpr unsigned kFlushAndDenormalsAreZero = 0x8040u;
constexpr unsigned kDenormalsAreZeroOnly = 0x0040u;

// A groove as hosts play one: hits every 0.35 s at varying velocities,
// with the accent, noise decay and attack knobs moved while tails ring
// (a louder accent can make the click draw current again without a hit),
// and a change of rate. Rendered in blocks of the given size.
std::vector<float> PlayGroove(double rate, int block) {
  DrumVoice voice;
  voice.SetSampleRate(rate);
  ApplyDefaults(voice);
  voice.ApplyParam(10, 1.0);
  const auto length = static_cast<int64_t>(4.0 * rate);
  const auto hitEvery = static_cast<int64_t>(0.35 * rate);
  std::vector<float> out(static_cast<size_t>(length));
  for (int64_t s = 0; s < length;) {
    if (s % hitEvery == 0) MidiHit(voice, 36, 30 + static_cast<int>((s / hitEvery) * 23 % 97));
    const int64_t second = static_cast<int64_t>(rate);
    if (s == second + 700) voice.ApplyParam(1, 1.0);
    if (s == second + 900) voice.ApplyParam(7, 0.95);
    if (s == 2 * second + 333) voice.ApplyParam(4, 0.1);
    if (s == 2 * second + 5000) voice.ApplyParam(1, 0.2);
    if (s == 3 * second) voice.SetSampleRate(rate * 2.0);
    if (s == 3 * second + 4000) voice.SetSampleRate(rate);
    int64_t end = s + block < length ? s + block : length;
    const int64_t nextHit = (s / hitEvery + 1) * hitEvery;
    if (nextHit < end) end = nextHit;
    for (int64_t mark :
         {second + 700, second + 900, 2 * second + 333, 2 * second + 5000, 3 * second, 3 * second + 4000})
      if (mark > s && mark < end) end = mark;
    voice.Render(out.data() + s, static_cast<int32_t>(end - s));
    s = end;
  }
  return out;
}

std::vector<float> PlayGrooveWorkingEverySample(double rate, int block) {
  DrumVoice::EnableSettledSkip(false);
  std::vector<float> out = PlayGroove(rate, block);
  DrumVoice::EnableSettledSkip(true);
  return out;
}

void ExpectSameBits(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) ASSERT_EQ(Bits(actual[i]), Bits(expected[i])) << "sample " << i;
}

class DeferredWork : public OnEveryVoiceLaneSet {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Lanes, DeferredWork, testing::ValuesIn(AvailableVoiceLanes()), VoiceLanesTestName);

TEST_P(DeferredWork, AGrooveWithKnobsMovedDuringTailsRendersTheBitsOfEverySampleWorkedOut) {
  for (unsigned mode : {0u, kFlushAndDenormalsAreZero}) {
    ControlMode control(mode);
    for (const auto& [rate, block] : {std::pair{44100.0, 256}, std::pair{48000.0, 64}, std::pair{96000.0, 1000}}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of " << block << ", mode " << mode);
      ExpectSameBits(PlayGroove(rate, block), PlayGrooveWorkingEverySample(rate, block));
    }
  }
}

// Long decays reach denormal levels, which each control mode treats its own
// way: the float products of a decay must treat them as the double steps
// of sample-by-sample rendering do.
TEST_P(DeferredWork, DecaysIntoDenormalsMatchSampleBySampleInEveryControlMode) {
  for (unsigned mode : {0u, kDenormalsAreZeroOnly, kFlushAndDenormalsAreZero}) {
    ControlMode control(mode);
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    DrumVoice blocks, single;
    for (DrumVoice* v : {&blocks, &single}) {
      v->SetSampleRate(8000.0);
      ApplyDefaults(*v);
      v->ApplyParam(3, 0.0);
      v->ApplyParam(7, 0.0);
      PadHit(*v);
    }
    DrumVoice::EnableSettledSkip(false);
    std::vector<float> fromBlocks(8000), fromSingle(8000);
    for (int second = 0; second < 12; ++second) {
      blocks.Render(fromBlocks.data(), 8000);
      for (float& sample : fromSingle) sample = single.NextSample();
      ExpectSameBits(fromBlocks, fromSingle);
      ASSERT_EQ(Bits(blocks.PitchEnv().Level()), Bits(single.PitchEnv().Level())) << "second " << second;
      ASSERT_EQ(Bits(blocks.ClickEnv().Level()), Bits(single.ClickEnv().Level())) << "second " << second;
    }
    DrumVoice::EnableSettledSkip(true);
    if (mode == kDenormalsAreZeroOnly) {
      // The levels went through the denormal range and on to zero.
      EXPECT_EQ(single.PitchEnv().Level(), 0.0);
    }
  }
}

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "instrument/voice/FloatPhase.h"
#include "instrument/voice/TriangleOscillator.h"
#include "instrument/voice/VoiceStages.h"
#include "tests/voice/Bits.h"
#include "tests/voice/VoiceLanes.h"

namespace {

float FromBits(uint32_t bits) { return std::bit_cast<float>(bits); }

// The oscillator's own arithmetic: a double sum of floats, less 2 from 1
// on, rounded to float.
float WrapBelowTwo(double sum) { return static_cast<float>(sum >= 1.0 ? sum - 2.0 : sum); }

// Floats of [-1, 1]: a spread over every exponent, and every float near
// the points where rounding or the wrap could tell the float and double
// sums apart.
std::vector<float> PhaseSamples() {
  std::vector<float> samples;
  for (uint32_t bits = 0; bits <= Bits(1.0f); bits += 613)
    for (float sign : {1.0f, -1.0f}) samples.push_back(sign * FromBits(bits));
  for (float point : {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, -0x1p-54f, 0x1p-54f, 0x1p-29f, -0x1p-29f, 0x1p-24f, -0x1p-25f,
                      std::numeric_limits<float>::denorm_min()}) {
    float below = point;
    float above = point;
    for (int i = 0; i < 3000; ++i) {
      samples.push_back(below);
      samples.push_back(above);
      below = std::nextafter(below, -2.0f);
      above = std::nextafter(above, 2.0f);
    }
  }
  return samples;
}

}  // namespace

TEST(FloatPhase, OffsetsGiveTheBitsOfTheDoubleSums) {
  for (float x : PhaseSamples()) {
    if (x < -1.0f || x > 1.0f) continue;
    ASSERT_EQ(Bits(PhasePlusHalf(x)), Bits(WrapBelowTwo(static_cast<double>(x) + static_cast<double>(0.5f)))) << x;
    ASSERT_EQ(Bits(PhasePlusOne(x)), Bits(WrapBelowTwo(static_cast<double>(x) + 1.0))) << x;
  }
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(std::isnan(PhasePlusHalf(nan)));
  EXPECT_TRUE(std::isnan(PhasePlusOne(nan)));
}

TEST(FloatPhase, StepsGiveTheBitsOfTheOscillatorsDoubleSum) {
  const std::vector<float> phases = PhaseSamples();
  const float incs[] = {0.0f,
                        std::numeric_limits<float>::denorm_min(),
                        1e-30f,
                        1e-9f,
                        2.0f * 55.0f / 48000.0f,
                        0.01f,
                        0.4999999f,
                        0.5f,
                        0.99999994f,
                        1.0f,
                        1.5f,
                        2.0f,
                        3.75f,
                        -0.003f,
                        -1.5f,
                        250.0f,
                        1e30f,
                        std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::quiet_NaN()};
  for (size_t i = 0; i < phases.size(); i += 7) {
    const float phase = phases[i];
    if (!(phase >= -1.0f && phase < 1.0f)) continue;
    for (float inc : incs)
      ASSERT_EQ(Bits(PhaseStep(phase, inc)), Bits(TriangleOscillator::WrapPhase(static_cast<double>(phase) + inc)))
          << phase << " + " << inc;
  }
}

// The corner width is float(2 step); the lanes double float(step) instead
// wherever that is at least kSmallestDoublableStep.
TEST(FloatPhase, DoublingTheRoundedStepIsExactAboveTheSmallestDoublableStep) {
  std::mt19937_64 random(7u);
  std::vector<double> steps = {0.0,
                               0x1p-125,
                               std::nextafter(0x1p-125, 0.0),
                               std::nextafter(0x1p-125, 1.0),
                               0x1p-126 * 1.99999999,
                               std::numeric_limits<float>::max(),
                               std::nextafter(static_cast<double>(std::numeric_limits<float>::max()), 1e300),
                               1e300,
                               std::numeric_limits<double>::infinity()};
  for (int i = 0; i < 200000; ++i) {
    const double mantissa = 1.0 + static_cast<double>(random() >> 11) * 0x1p-53;
    steps.push_back(std::ldexp(mantissa, static_cast<int>(random() % 300u) - 160));
  }
  int checked = 0;
  for (double step : steps)
    for (double signedStep : {step, -step}) {
      const float inc = static_cast<float>(signedStep);
      if (!(std::fabs(inc) >= kSmallestDoublableStep)) continue;
      ASSERT_EQ(Bits(static_cast<float>(2.0 * signedStep)), Bits(2.0f * inc)) << signedStep;
      ++checked;
    }
  EXPECT_GT(checked, 100000);
}

TEST(VoiceLanesChoice, TheWidestAvailableSetIsActive) { EXPECT_EQ(ActiveVoiceLanes(), WidestVoiceLanes()); }

TEST(VoiceLanesChoice, OnlyAvailableSetsCanBeSelected) {
  EXPECT_TRUE(VoiceLanesAvailable(VoiceLanes::Sse2));
  for (VoiceLanes lanes : {VoiceLanes::Sse2, VoiceLanes::Avx2, VoiceLanes::Avx512}) {
    const VoiceLanes before = ActiveVoiceLanes();
    const bool selected = SelectVoiceLanes(lanes);
    EXPECT_EQ(selected, VoiceLanesAvailable(lanes)) << VoiceLanesName(lanes);
    EXPECT_EQ(ActiveVoiceLanes(), selected ? lanes : before) << VoiceLanesName(lanes);
  }
  SelectVoiceLanes(WidestVoiceLanes());
}

// Every set gives the same bits, so speed alone decides, and a narrower set
// has to be clearly faster than a wider one, as short timings are noisy.
TEST(VoiceLanesChoice, TheFastestSetIsChosenAndAWiderOneKeptWhenTheyAreClose) {
  EXPECT_EQ(FastestVoiceLanes({{3.0, 2.0, 1.0}}), VoiceLanes::Avx512);
  EXPECT_EQ(FastestVoiceLanes({{3.0, 1.0, 2.0}}), VoiceLanes::Avx2);
  EXPECT_EQ(FastestVoiceLanes({{3.0, 1.0, 1.05}}), VoiceLanes::Avx512);
  EXPECT_EQ(FastestVoiceLanes({{1.0, 1.2, 1.3}}), VoiceLanes::Sse2);
  EXPECT_EQ(FastestVoiceLanes({{1.0, 1.05, 1.0}}), VoiceLanes::Avx512);
  // Sets the processor lacks are not timed and never chosen.
  EXPECT_EQ(FastestVoiceLanes({{2.0, 1.0, 0.0}}), VoiceLanes::Avx2);
  EXPECT_EQ(FastestVoiceLanes({{1.0, 0.0, 0.0}}), VoiceLanes::Sse2);
  EXPECT_EQ(FastestVoiceLanes({{0.0, 0.0, 0.0}}), VoiceLanes::Sse2);
}

// Tests and benchmarks that pick a set must get it, even when the first
// instrument they make times the sets afterwards.
TEST(VoiceLanesChoice, ASelectedSetOutlastsTheTiming) {
  for (VoiceLanes lanes : AvailableVoiceLanes()) {
    ASSERT_TRUE(SelectVoiceLanes(lanes));
    for (VoiceLanes timed : AvailableVoiceLanes()) UseTimedVoiceLanes(timed);
    ChooseVoiceLanesByTiming();
    EXPECT_EQ(ActiveVoiceLanes(), lanes) << VoiceLanesName(lanes);
  }
  SelectVoiceLanes(WidestVoiceLanes());
}

TEST(VoiceLanesChoice, EveryAvailableSetIsTimedAndTheChoiceIsOneOfThem) {
  const VoiceLaneTimes times = TimeVoiceLanes();
  for (VoiceLanes lanes : {VoiceLanes::Sse2, VoiceLanes::Avx2, VoiceLanes::Avx512}) {
    const double t = times.seconds[static_cast<int>(lanes)];
    if (VoiceLanesAvailable(lanes)) {
      EXPECT_GT(t, 0.0) << VoiceLanesName(lanes);
      EXPECT_LT(t, 1.0) << VoiceLanesName(lanes);
    } else {
      EXPECT_EQ(t, 0.0) << VoiceLanesName(lanes);
    }
  }
  EXPECT_TRUE(VoiceLanesAvailable(FastestVoiceLanes(times)));
}

class HalvingLanes : public OnEveryVoiceLaneSet {};

INSTANTIATE_TEST_SUITE_P(Lanes, HalvingLanes, testing::ValuesIn(AvailableVoiceLanes()), VoiceLanesTestName);

// Every length, so that each set's whole groups and the frames after them
// are both seen; nothing past the frames is written.
TEST_P(HalvingLanes, HalveIntoDoublesGivesEachFloatHalvedAsADouble) {
  std::vector<float> in;
  for (int i = 0; i < 70; ++i) in.push_back(std::ldexp(static_cast<float>(i) - 35.3f, i % 9 - 4));
  in[3] = std::numeric_limits<float>::infinity();
  in[17] = -0.0f;
  in[40] = std::numeric_limits<float>::denorm_min();
  for (int frames = 0; frames <= 64; ++frames) {
    std::vector<double> out(static_cast<size_t>(frames) + 1, 9.0);
    HalveIntoDoubles(in.data(), out.data(), frames);
    for (int k = 0; k < frames; ++k)
      ASSERT_EQ(Bits(out[static_cast<size_t>(k)]), Bits(static_cast<double>(in[static_cast<size_t>(k)] * 0.5f)))
          << frames << ", " << k;
    ASSERT_EQ(out[static_cast<size_t>(frames)], 9.0) << frames;
  }
}

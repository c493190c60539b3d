#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "instrument/voice/ShaperCurve.h"
#include "instrument/voice/TransferCurves.h"
#include "instrument/voice/TriangleOscillator.h"
#include "instrument/voice/VoiceStages.h"
#include "tests/voice/Bits.h"
#include "tests/voice/VoiceLanes.h"

// RunVoiceStages on each lane set against the stages worked out one frame
// at a time with the scalar voice's own building blocks, on stretches
// filled by the test: table lookups at every entry and past both ends,
// and the divisions' inputs at thresholds, extremes and non-finite values.

namespace {

constexpr float kFloatMax = std::numeric_limits<float>::max();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The stages as NextSample works them, frame by frame; phase carries on.
std::vector<float> ScalarStages(const VoiceStretch& s, const VoiceStageSettings& c, float& phase) {
  std::vector<float> out(static_cast<size_t>(c.frames));
  for (int k = 0; k < c.frames; ++k) {
    const float pitch = s.pitchLevel[k] * c.pitchGain;
    const float f = static_cast<float>(PitchFrequencyOf(static_cast<double>(pitch), c.tuneDepthX2, c.baseFrequency));
    const double step = 2.0 * static_cast<double>(f) / c.oscillatorRate;
    const TriangleOscillator::Step oscillatorStep = {static_cast<float>(step), static_cast<float>(2.0 * step)};
    float o = 0.0f;
    if (k >= c.silentFrames) {
      phase = TriangleOscillator::WrapPhase(static_cast<double>(phase) + oscillatorStep.inc);
      o = TriangleOscillator::Shape(phase, oscillatorStep, 0.5f);
    }
    const float m = ShaperCurve(static_cast<float>(o * kShaperDrive * c.distortPlusOne));
    const float i1 = DriveCurrent(static_cast<float>(s.ampLevel[k] * c.ampGain), kBodyDriveThreshold);
    const float i2 = DriveCurrent(static_cast<float>(s.clickLevel[k] * c.clickGain), kClickDriveThreshold);
    const float body = BodyStage(m, i1);
    float click = 0.0f;
    if (i2 != 0.0f || (body == 0.0f && s.tail[k] == 0.0)) {
      const double drive =
          ClickNoiseDriveOf(static_cast<double>(s.click[k]), static_cast<double>(s.noise[k]), c.attackSquared);
      click = ClickStage(static_cast<float>(drive), i2);
    }
    out[static_cast<size_t>(k)] =
        static_cast<float>(MixOf(static_cast<double>(body), static_cast<double>(click), s.tail[k]));
  }
  return out;
}

// Which NaN comes out is not part of the sound; every other value is, to the bit.
bool SameSample(float a, float b) { return std::isnan(a) ? std::isnan(b) : Bits(a) == Bits(b); }

// Runs the active lanes on s and compares output and carried phase with
// the scalar stages; nothing past the frames is written.
void ExpectScalarBits(VoiceStretch& s, const VoiceStageSettings& c, float phase, const std::string& what) {
  float scalarPhase = phase;
  const std::vector<float> expected = ScalarStages(s, c, scalarPhase);
  std::vector<float> out(static_cast<size_t>(c.frames) + 1, 77.0f);
  float lanePhase = phase;
  RunVoiceStages(s, c, lanePhase, out.data());
  for (int k = 0; k < c.frames; ++k)
    ASSERT_TRUE(SameSample(out[static_cast<size_t>(k)], expected[static_cast<size_t>(k)]))
        << what << ", frame " << k << ": " << out[static_cast<size_t>(k)] << " instead of "
        << expected[static_cast<size_t>(k)];
  EXPECT_EQ(out[static_cast<size_t>(c.frames)], 77.0f) << what;
  EXPECT_TRUE(SameSample(lanePhase, scalarPhase)) << what;
}

VoiceStageSettings PlainSettings(int frames) {
  VoiceStageSettings c{};
  c.frames = frames;
  c.silentFrames = 0;
  c.ampGain = 1.0;
  c.clickGain = 1.0;
  c.pitchGain = 1.0f;
  c.tuneDepthX2 = 0.0;
  c.baseFrequency = 16.0;
  c.oscillatorRate = 48000.0;
  c.distortPlusOne = 2.0;
  c.attackSquared = 0.25;
  return c;
}

void FillPlain(VoiceStretch& s) {
  for (int k = 0; k < kVoiceStretch; ++k) {
    s.ampLevel[k] = 1.0;
    s.clickLevel[k] = 0.0;
    s.tail[k] = 0.0;
    s.click[k] = 0.0f;
    s.noise[k] = 0.0f;
    s.pitchLevel[k] = 0.0f;
  }
}

class VoiceStages : public OnEveryVoiceLaneSet {};

INSTANTIATE_TEST_SUITE_P(Lanes, VoiceStages, testing::ValuesIn(AvailableVoiceLanes()), VoiceLanesTestName);

// With distort + 1 at 2 the oscillator's whole swing spans the shaper's
// table: a slow triangle steps through every entry and its neighbour, the
// last pair included, and a little more drive runs past both ends.
TEST_P(VoiceStages, TheShaperReadsEveryTableEntryAndBothEnds) {
  auto s = std::make_unique<VoiceStretch>();
  FillPlain(*s);
  for (double distortPlusOne : {2.0, 1.9999, 2.0001, 2.5}) {
    VoiceStageSettings c = PlainSettings(kVoiceStretch);
    c.distortPlusOne = distortPlusOne;
    // Two thirds of an entry per frame, so each entry is met more than once.
    c.baseFrequency = c.oscillatorRate / 3000.0;
    float phase = 0.123f;
    for (int stretch = 0; stretch < 14; ++stretch) {
      float scalarPhase = phase;
      ScalarStages(*s, c, scalarPhase);
      ExpectScalarBits(*s, c, phase, "distort + 1 = " + std::to_string(distortPlusOne));
      phase = scalarPhase;
    }
  }
}

// A double of a float, or any double, drawn from values that meet the
// stages' thresholds and limits, or at random.
class EdgeValues {
public:
  explicit EdgeValues(uint32_t seed) : random_(seed) {}

  double Level() {
    static const double edges[] = {0.0,
                                   -0.0,
                                   0.45,
                                   std::nextafter(0.45, 1.0),
                                   std::nextafter(0.45, 0.0),
                                   1.85,
                                   1.86,
                                   std::nextafter(1.86, 2.0),
                                   std::nextafter(1.86, 0.0),
                                   static_cast<double>(std::nextafter(1.86f, 2.0f)),
                                   1e-310,
                                   1e-30,
                                   3.5,
                                   1e30,
                                   1e300,
                                   static_cast<double>(kFloatMax),
                                   -5.0,
                                   kInf,
                                   -kInf,
                                   kNaN};
    if (random_() % 3u == 0u) return edges[random_() % std::size(edges)];
    return std::ldexp(Fraction(), static_cast<int>(random_() % 12u) - 6);
  }

  float Sample() {
    static const float edges[] = {0.0f,
                                  -0.0f,
                                  std::numeric_limits<float>::denorm_min(),
                                  1e-30f,
                                  0.5f,
                                  -1.0f,
                                  3.0f,
                                  1e30f,
                                  kFloatMax,
                                  -kFloatMax,
                                  kInf,
                                  -kInf,
                                  static_cast<float>(kNaN)};
    if (random_() % 4u == 0u) return edges[random_() % std::size(edges)];
    return static_cast<float>(2.0 * Fraction() - 1.0);
  }

  double Fraction() { return static_cast<double>(random_() >> 11) * 0x1p-53; }
  uint64_t Next() { return random_(); }

private:
  std::mt19937_64 random_;
};

// Every input of the lanes, frame by frame, from edge values: currents on
// either side of both thresholds, huge, tiny, infinite and NaN levels and
// samples, odd settings, partial groups and silent frames.
TEST_P(VoiceStages, EdgeInputsGiveTheScalarBits) {
  EdgeValues values(20261208u);
  auto s = std::make_unique<VoiceStretch>();
  const double rates[] = {48000.0, 44100.0, 8000.0, 1e-3, 0.0, 1e300};
  const double attacks[] = {0.25, 0.0, 1.0, 1e-60, 1e30};
  const double distorts[] = {2.0, 1.0, 41.0, 1e38, -2.0};
  const int lengths[] = {kVoiceStretch, 1, 7, 8, 13, 100};
  for (int round = 0; round < 300; ++round) {
    VoiceStageSettings c = PlainSettings(lengths[round % std::size(lengths)]);
    c.silentFrames = round % 5 == 0 ? static_cast<int>(values.Next() % static_cast<uint64_t>(c.frames + 1)) : 0;
    c.oscillatorRate = rates[round % std::size(rates)];
    c.attackSquared = attacks[values.Next() % std::size(attacks)];
    c.distortPlusOne = distorts[values.Next() % std::size(distorts)];
    c.ampGain = 1.0 + values.Fraction();
    c.clickGain = 1.0 + values.Fraction();
    c.baseFrequency = 20.0 + 2000.0 * values.Fraction();
    c.tuneDepthX2 = values.Fraction();
    for (int k = 0; k < kVoiceStretch; ++k) {
      s->ampLevel[k] = values.Level();
      s->clickLevel[k] = values.Level();
      s->tail[k] = values.Next() % 4u == 0u ? values.Level() : 0.0;
      s->click[k] = values.Sample();
      s->noise[k] = values.Sample();
      s->pitchLevel[k] = values.Next() % 8u == 0u ? values.Sample() : static_cast<float>(values.Fraction());
    }
    const float phase = static_cast<float>(2.0 * values.Fraction() - 1.0);
    ExpectScalarBits(*s, c, phase, "round " + std::to_string(round));
  }
}

// Click samples whose click-stage quotient falls within two double ulps of
// the midpoint between two floats: a quotient off by an ulp (a product by
// the reciprocal, say) rounds to the other float there.
TEST_P(VoiceStages, QuotientsNextToAFloatMidpointRoundAsTheDivision) {
  auto s = std::make_unique<VoiceStretch>();
  FillPlain(*s);
  const float clicks[] = {0x1.bf4ff6p-7f, 0x1.c0482cp-7f, 0x1.c0482ep-7f};
  for (int k = 0; k < kVoiceStretch; ++k) {
    s->ampLevel[k] = 0.0;
    s->clickLevel[k] = 2.0;
    s->click[k] = clicks[k % std::size(clicks)];
  }
  VoiceStageSettings c = PlainSettings(kVoiceStretch);
  c.attackSquared = 1.0;
  ExpectScalarBits(*s, c, 0.0f, "click stage");
}

}  // namespace

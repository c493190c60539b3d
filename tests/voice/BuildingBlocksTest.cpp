#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "instrument/voice/ClickWave.h"
#include "instrument/voice/RcEnvelope.h"
#include "instrument/voice/ShaperCurve.h"
#include "instrument/voice/TriangleOscillator.h"

namespace {

// Half a unit in the last printed digit of the values below.
constexpr double kSevenDigits = 5e-8;

RcEnvelope AttackEnvelopeAt44100() {
  RcEnvelope envelope(0.000594f, 0.002f, 0.02079f, 1.0);
  envelope.SetSampleRate(44100.0);
  return envelope;
}

}  // namespace

TEST(RcEnvelope, OneAttackStepFromRest) {
  RcEnvelope envelope = AttackEnvelopeAt44100();
  envelope.Restart();
  const float value = envelope.Next();
  EXPECT_NEAR(envelope.C(), 0.9625448, kSevenDigits);
  EXPECT_NEAR(value, 0.0374552, kSevenDigits);
  EXPECT_EQ(envelope.OneMinusC(), static_cast<float>(1.0 - std::exp(-1.0 / (0.000594f * 44100.0))));
  EXPECT_EQ(envelope.Target(), 1.0f);
}

TEST(RcEnvelope, StartsInReleaseAndFallsAfterOneStepTowardTheInitialInput) {
  RcEnvelope envelope = AttackEnvelopeAt44100();
  const double releaseC = std::exp(-1.0 / (44100.0 * 0.02079f));
  const float first = envelope.Next();
  EXPECT_EQ(envelope.Count(), 66667);
  EXPECT_EQ(envelope.Target(), 0.0f);
  EXPECT_EQ(first, static_cast<float>(1.0 - releaseC));
  float previous = first;
  for (int step = 0; step < 1000; ++step) {
    const float value = envelope.Next();
    ASSERT_LT(value, previous);
    previous = value;
  }
  for (int step = 0; step < 50000; ++step) previous = envelope.Next();
  EXPECT_LT(previous, 1e-10f);
}

TEST(RcEnvelope, HoldsThenReleasesAndRetriggersFromItsLevel) {
  RcEnvelope envelope(0.000594f, 0.0105, 0.05, 2.0);
  envelope.SetSampleRate(1000.0);
  envelope.Restart();
  float value = 0.0f;
  for (int step = 1; step <= 10; ++step) {
    value = envelope.Next();
    EXPECT_EQ(envelope.Target(), 1.0f) << step;
  }
  EXPECT_NEAR(value, 2.0f, 1e-5f);  // a 0.6 ms attack is complete within 10 ms
  envelope.Next();
  EXPECT_EQ(envelope.Target(), 0.0f);
  for (int step = 0; step < 30; ++step) value = envelope.Next();
  const double levelBeforeHit = envelope.Level();
  envelope.Restart();
  EXPECT_EQ(envelope.Level(), levelBeforeHit);
  // The filter sees the new target one step late: the first step still falls.
  EXPECT_LT(envelope.Next(), value);
  EXPECT_GT(envelope.Next(), value);
}

TEST(RcEnvelope, ZeroReleaseTimeDropsAtOnce) {
  RcEnvelope envelope(0.000594f, 0.0, 0.0, 1.0);
  envelope.SetSampleRate(44100.0);
  envelope.Restart();
  // Count 1 is already past a hold of 0; the filter passes its input through,
  // one step late.
  EXPECT_EQ(envelope.Next(), 1.0f);
  EXPECT_EQ(envelope.C(), 0.0f);
  EXPECT_EQ(envelope.Next(), 0.0f);
}

TEST(BlampCorrection, KnownValues) {
  EXPECT_NEAR(BlampCorrection(0.0f), 0.2061727, kSevenDigits);
  EXPECT_NEAR(BlampCorrection(0.25f), 0.0437857, kSevenDigits);
  EXPECT_EQ(BlampCorrection(-0.25f), BlampCorrection(0.25f));
  EXPECT_NEAR(BlampCorrection(0.5f), 0.0031022, kSevenDigits);
  EXPECT_NEAR(BlampCorrection(1.0f), 0.0f, 1e-4f);
}

TEST(TriangleOscillator, WrapPhaseMatchesOneCorrectionWhereThatSuffices) {
  for (double y = -2.9990234375; y < 2.99; y += 0.0078125) {
    const double once = y >= 1.0 ? y - 2.0 : y < -1.0 ? y + 2.0 : y;
    ASSERT_EQ(TriangleOscillator::WrapPhase(y), static_cast<float>(once)) << y;
  }
  for (double y : {3.0, -3.5, 1e6 + 0.25, -7e9, 1e300}) {
    const float wrapped = TriangleOscillator::WrapPhase(y);
    EXPECT_GE(wrapped, -1.0f) << y;
    EXPECT_LT(wrapped, 1.0f) << y;
  }
  EXPECT_EQ(TriangleOscillator::WrapPhase(1e6 + 0.25), 0.25f);
  EXPECT_EQ(TriangleOscillator::WrapPhase(std::numeric_limits<double>::quiet_NaN()), 0.0f);
  EXPECT_EQ(TriangleOscillator::WrapPhase(-std::numeric_limits<double>::infinity()), 0.0f);
}

TEST(TriangleOscillator, HitStartsNearZeroAndRises) {
  TriangleOscillator osc;
  osc.SetSampleRate(44100.0);
  osc.Restart();
  const int quarterPeriod = static_cast<int>(44100.0 / 55.0 / 4.0);
  float previous = osc.Next(55.0f, 0.5f);
  EXPECT_NEAR(previous, 0.0f, 0.01f);
  for (int i = 1; i < quarterPeriod; ++i) {
    const float value = osc.Next(55.0f, 0.5f);
    ASSERT_GT(value, previous) << i;
    previous = value;
  }
  EXPECT_GT(previous, 0.95f);
  float low = 0.0f, high = 0.0f;
  for (int i = 0; i < 44100; ++i) {
    const float value = osc.Next(55.0f, 0.5f);
    low = std::min(low, value);
    high = std::max(high, value);
  }
  EXPECT_NEAR(high, 0.998f, 0.001f);
  EXPECT_NEAR(low, -0.998f, 0.001f);
}

TEST(TriangleOscillator, StaysBoundedAtAndAboveHalfTheSampleRate) {
  for (float frequency : {11025.0f, 22050.0f, 30000.0f, 44100.0f, 123456.7f, 1e9f, 3e38f}) {
    TriangleOscillator osc;
    osc.SetSampleRate(44100.0);
    for (int i = 0; i < 5000; ++i) {
      const float value = osc.Next(frequency, 0.5f);
      ASSERT_TRUE(std::isfinite(value)) << frequency;
      ASSERT_LE(std::fabs(value), 2.0f) << frequency;
      ASSERT_GE(osc.Phase(), -1.0f) << frequency;
      ASSERT_LT(osc.Phase(), 1.0f) << frequency;
    }
  }
}

TEST(ClickWave, AtTheTableRateItPlaysTheTableThenStops) {
  ClickWave click;
  click.SetSampleRate(96000.0);
  for (int k = 0; k < kClickTableLength - 1; ++k) ASSERT_EQ(click.Next(), kClickTable[k]) << k;
  EXPECT_EQ(click.Next(), 0.0f);
  EXPECT_EQ(click.Next(), 0.0f);
  EXPECT_EQ(click.Position(), kClickTableLength - 1);
  click.Restart();
  EXPECT_EQ(click.Next(), kClickTable[0]);
}

TEST(ClickWave, At44100ItLasts459Samples) {
  ClickWave click;
  click.SetSampleRate(44100.0);
  for (int i = 0; i < 2000; ++i) click.Next();
  EXPECT_EQ(click.Position(), 459);
  EXPECT_EQ(click.Next(), 0.0f);
}

TEST(ClickWave, IsSilentWithoutASampleRate) {
  ClickWave click;
  EXPECT_EQ(click.Next(), 0.0f);
  EXPECT_EQ(click.Position(), 0);
}

TEST(ShaperCurve, KnownValuesAndClamping) {
  EXPECT_EQ(ShaperCurve(0.0f), 0.0f);
  EXPECT_EQ(ShaperCurve(0.9f), 0.1621325f);
  EXPECT_EQ(ShaperCurve(-9.0f), -0.5605323f);
  EXPECT_EQ(ShaperCurve(9.0f), 0.5605323f);
  EXPECT_EQ(ShaperCurve(9.0001f), 0.5605323f);
  EXPECT_EQ(ShaperCurve(-9.0001f), -0.5605323f);
  EXPECT_EQ(ShaperCurve(1e30f), 0.5605323f);
  EXPECT_EQ(ShaperCurve(-std::numeric_limits<float>::infinity()), -0.5605323f);
  EXPECT_TRUE(std::isfinite(ShaperCurve(std::numeric_limits<float>::quiet_NaN())));
}

TEST(ShaperCurve, InterpolatesBetweenEntries) {
  // Halfway between entries 550 (0.9) and 551 (0.918).
  const float between = ShaperCurve(0.909f);
  EXPECT_GT(between, kShaperTable[550]);
  EXPECT_LT(between, kShaperTable[551]);
  EXPECT_NEAR(between, 0.5f * (kShaperTable[550] + kShaperTable[551]), 1e-6f);
}

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "instrument/voice/DrumVoice.h"
#include "instrument/voice/TransferCurves.h"
#include "tests/voice/VoiceScenario.h"

namespace {

constexpr double kRate = 44100.0;

struct DefaultVoice : DrumVoice {
  DefaultVoice() {
    SetSampleRate(kRate);
    ApplyDefaults(*this);
  }
};

void Render(DrumVoice& voice, int samples) {
  for (int i = 0; i < samples; ++i) voice.NextSample();
}

}  // namespace

TEST(DrumVoice, StartsFromTheCircuitsRestingState) {
  DrumVoice voice;
  EXPECT_EQ(voice.SampleRate(), 0.0);
  EXPECT_EQ(voice.SampleCount(), 0);
  EXPECT_EQ(voice.HighPass().out, 0.5041f);
  EXPECT_EQ(voice.HighPass().in, 1.2383f);
  EXPECT_EQ(voice.HighPass().tau, 0.0062f);
  EXPECT_EQ(voice.LowPass().tau, 0.000285f);
  EXPECT_EQ(voice.TailTau(), 0.1);
  EXPECT_EQ(voice.Click().TableRate(), 96000.0);
  EXPECT_EQ(voice.Click().Samples()[237], kClickTable[237]);
  EXPECT_NE(voice.Click().Samples(), kClickTable);

  EXPECT_EQ(voice.AmpEnv().AttackTau(), 0.000594f);
  EXPECT_EQ(voice.ClickEnv().AttackTau(), 0.000726f);
  EXPECT_EQ(voice.PitchEnv().AttackTau(), 0.0010164f);
  EXPECT_EQ(voice.ClickEnv().HoldTime(), 0.0020000000949949026);
  EXPECT_EQ(voice.PitchEnv().HoldTime(), 0.002300000051036477);
  EXPECT_EQ(voice.ClickEnv().ReleaseTau(), 0.02078999951481819);
  EXPECT_EQ(voice.PitchEnv().Gain(), 14.800000190734863);
  for (const RcEnvelope* envelope : {&voice.AmpEnv(), &voice.ClickEnv(), &voice.PitchEnv()}) {
    EXPECT_EQ(envelope->Count(), 66666);
    EXPECT_EQ(envelope->Input(), 1.0);
    EXPECT_EQ(envelope->Level(), 0.0);
  }
}

TEST(DrumVoice, SetSampleRateReachesEveryStage) {
  DrumVoice voice;
  voice.SetSampleRate(48000.0);
  for (double rate : {voice.SampleRate(), voice.AmpEnv().SampleRate(), voice.ClickEnv().SampleRate(),
                      voice.PitchEnv().SampleRate(), voice.HighPass().sampleRate, voice.LowPass().sampleRate,
                      voice.Click().SampleRate(), voice.Osc().SampleRate(), voice.TailSampleRate()})
    EXPECT_EQ(rate, 48000.0);
}

TEST(DrumVoice, KnobsBecomeTimeConstants) {
  DrumVoice voice;
  voice.ApplyParam(2, 0.0);
  EXPECT_EQ(voice.AmpEnv().ReleaseTau(), static_cast<double>(0.01551f));
  voice.ApplyParam(2, 0.5);
  EXPECT_EQ(voice.AmpEnv().ReleaseTau(), static_cast<double>(0.18051f));
  voice.ApplyParam(2, 1.0);
  EXPECT_EQ(voice.AmpEnv().ReleaseTau(), static_cast<double>(0.34551f));
  EXPECT_EQ(voice.DecayX2(), 2.0f);

  voice.ApplyParam(3, 0.0);
  EXPECT_EQ(voice.PitchEnv().ReleaseTau(), static_cast<double>(0.005808f));
  voice.ApplyParam(3, 1.0);
  EXPECT_EQ(voice.PitchEnv().ReleaseTau(), static_cast<double>(0.058608f));

  voice.ApplyParam(5, 0.5);
  EXPECT_EQ(voice.AmpEnv().HoldTime(), 0.10499999672174454);
  voice.ApplyParam(5, 1.0);
  EXPECT_EQ(voice.AmpEnv().HoldTime(), static_cast<double>(0.205f));

  voice.ApplyParam(7, 0.0);
  EXPECT_EQ(voice.ClickEnv().ReleaseTau(), static_cast<double>(0.004158f));
  voice.ApplyParam(7, 1.0);
  EXPECT_EQ(voice.ClickEnv().ReleaseTau(), static_cast<double>(0.212058f));
  EXPECT_EQ(voice.NoiseDecay(), 1.0f);
}

TEST(DrumVoice, KnobsAndSwitchesAreStoredAsGiven) {
  DrumVoice voice;
  voice.ApplyParam(0, -7.0);
  voice.ApplyParam(4, 0.25);
  voice.ApplyParam(6, 0.75);
  voice.ApplyParam(8, 0.125);
  voice.ApplyParam(9, 1.0);
  voice.ApplyParam(10, 1.0);
  EXPECT_EQ(voice.Pitch(), -7.0f);
  EXPECT_EQ(voice.Attack(), 0.25f);
  EXPECT_EQ(voice.TuneDepthX2(), 1.5f);
  EXPECT_EQ(voice.Distort(), 0.125f);
  EXPECT_EQ(voice.TuneMode(), 1);
  EXPECT_EQ(voice.AccentMode(), 1);
  voice.ApplyParam(9, 0.0);
  EXPECT_EQ(voice.TuneMode(), 0);

  voice.ApplyParam(1, 0.5);
  EXPECT_EQ(voice.ClickEnv().Gain(), 7.5);
  EXPECT_EQ(voice.AmpEnv().Gain(), 7.5 - 0.9757);
}

TEST(DrumVoice, OtherIndicesChangeNothing) {
  DefaultVoice plain, poked;
  for (int index : {-1, 11, 12, 13, 16, 1000}) poked.ApplyParam(index, 1.0);
  PadHit(plain);
  PadHit(poked);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(plain.NextSample(), poked.NextSample()) << i;
}

TEST(DrumVoice, HoldAtDefaultsEndsOnThe4631stSample) {
  DefaultVoice voice;
  PadHit(voice);
  Render(voice, 4630);
  EXPECT_EQ(voice.AmpEnv().Target(), 1.0f);
  voice.NextSample();
  EXPECT_EQ(voice.AmpEnv().Target(), 0.0f);
}

TEST(DrumVoice, BaseFrequencyFollowsPitchOrNote) {
  DefaultVoice voice;
  PadHit(voice);
  EXPECT_EQ(voice.BaseFrequency(), 55.0f);
  voice.ApplyParam(0, -12.0);
  EXPECT_EQ(voice.BaseFrequency(), 55.0f);  // a pitch change waits for the next hit
  PadHit(voice);
  EXPECT_EQ(voice.BaseFrequency(), 27.5f);
  voice.ApplyParam(0, 12.0);
  PadHit(voice);
  EXPECT_EQ(voice.BaseFrequency(), 110.0f);

  voice.ApplyParam(0, 0.0);
  voice.ApplyParam(9, 1.0);
  MidiHit(voice, 45, 100);
  EXPECT_EQ(voice.BaseFrequency(), 110.0f);
  voice.ApplyParam(0, -1.0);
  MidiHit(voice, 46, 100);
  EXPECT_EQ(voice.BaseFrequency(), 110.0f);
}

TEST(DrumVoice, AccentModeTakesTheVelocity) {
  DefaultVoice voice;
  voice.ApplyParam(1, 0.9);
  voice.ApplyParam(10, 1.0);
  MidiHit(voice, 36, 64);
  EXPECT_EQ(voice.Accent(), 0.5f);
  EXPECT_EQ(voice.ClickEnv().Gain(), 7.5);
  EXPECT_EQ(voice.AmpEnv().Gain(), static_cast<double>(6.5243f));

  voice.ApplyParam(10, 0.0);
  PadHit(voice);
  EXPECT_EQ(voice.Accent(), 0.5f);  // until "Accent" itself changes again
  EXPECT_EQ(voice.ClickEnv().Gain(), 7.5);

  voice.ApplyParam(10, 1.0);
  MidiHit(voice, 36, 0);
  EXPECT_EQ(voice.ClickEnv().Gain(), 0.0);
  EXPECT_EQ(voice.AmpEnv().Gain(), static_cast<double>(-0.9757f));
}

TEST(DrumVoice, PadHitInAccentModeBeforeAnyNoteHasNoAccent) {
  DefaultVoice voice;
  voice.ApplyParam(10, 1.0);
  PadHit(voice);
  EXPECT_EQ(voice.Accent(), 0.0f);
  EXPECT_EQ(voice.ClickEnv().Gain(), 0.0);
}

TEST(TransferCurves, AttackZeroRemovesTheClickAndNoiseDrive) {
  EXPECT_EQ(ClickNoiseDrive(1.102138f, 0.4f, 0.0f), 0.0f);
  EXPECT_GT(ClickNoiseDrive(1.102138f, 0.4f, 1.0f), 0.0f);
  const float i2 = DriveCurrent(5.0f, 1.86);
  EXPECT_EQ(i2, static_cast<float>((5.0f - 1.86) / 470000.0));
  EXPECT_EQ(ClickStage(0.0f, i2), static_cast<float>(1.161f * i2 / 2.4e-5));
  EXPECT_EQ(DriveCurrent(1.85f, 1.86), 0.0f);
  EXPECT_EQ(BodyStage(0.3f, 0.0f), 0.0f);
}

TEST(DrumVoice, RetriggerCarriesThePreviousOutputAsTail) {
  // Distort shapes only the output, never the state: two voices that differ
  // in it before the retrigger hold the same state apart from lastOutput.
  DefaultVoice quiet, loud;
  loud.ApplyParam(8, 1.0);
  PadHit(quiet);
  PadHit(loud);
  Render(quiet, 1500);
  Render(loud, 1500);
  loud.ApplyParam(8, 0.5);
  ASSERT_NE(quiet.LastOutput(), loud.LastOutput());

  const double quietBefore = quiet.LastOutput(), loudBefore = loud.LastOutput();
  PadHit(quiet);
  PadHit(loud);
  EXPECT_EQ(quiet.Tail(), quietBefore);
  const float quietFirst = quiet.NextSample();
  const float loudFirst = loud.NextSample();
  const double oneStep = std::exp(-1.0 / (kRate * 0.1));
  EXPECT_EQ(quiet.Tail(), quietBefore * oneStep);
  EXPECT_EQ(loud.Tail(), loudBefore * oneStep);
  const double quietOwn = quietFirst - quiet.Tail();
  const double loudOwn = loudFirst - loud.Tail();
  EXPECT_NEAR(quietOwn, loudOwn, 1e-6);
  EXPECT_GT(std::fabs(quietOwn), 1e-3);  // the new hit sounds on top of the tail
}

TEST(DrumVoice, IsSilentUntilHitAndDuringTheFirstTwoMilliseconds) {
  DefaultVoice voice;
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(voice.NextSample(), 0.0f) << i;

  DefaultVoice early;
  PadHit(early);
  Render(early, 88);
  EXPECT_EQ(early.Osc().Phase(), 0.0f);  // 44100 x 0.002 - 1 = 87.2
  early.NextSample();
  EXPECT_NE(early.Osc().Phase(), 0.0f);
}

TEST(DrumVoice, AHitAtDefaultsSoundsLikeABassDrum) {
  DefaultVoice voice;
  Render(voice, 4410);
  PadHit(voice);
  std::vector<float> hit(static_cast<size_t>(kRate * 2));
  for (float& sample : hit) sample = voice.NextSample();

  float peak = 0.0f;
  for (float sample : hit) peak = std::max(peak, std::fabs(sample));
  EXPECT_GT(peak, 0.1f);
  EXPECT_LT(peak, 2.0f);

  // Zero crossings over 150..450 ms, once the pitch sweep has settled.
  int crossings = 0;
  for (size_t i = static_cast<size_t>(0.15 * kRate); i < static_cast<size_t>(0.45 * kRate); ++i)
    crossings += (hit[i - 1] < 0.0f) != (hit[i] < 0.0f);
  EXPECT_NEAR(crossings / 2.0 / 0.3, 55.0, 3.0);

  for (size_t i = static_cast<size_t>(1.5 * kRate); i < hit.size(); ++i) ASSERT_LT(std::fabs(hit[i]), 1e-3f) << i;
}

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "instrument/voice/DrumVoice.h"
#include "tests/voice/Bits.h"
#include "tests/voice/ReferenceVoice.h"
#include "tests/voice/VoiceLanes.h"
#include "tests/voice/VoiceScenario.h"

namespace {

const std::vector<int> kMixedBlocks = {1, 2, 3, 7, 64, 100, 256, 1000};

void ExpectSameBits(const std::vector<float>& actual, const std::vector<float>& expected, const char* what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t i = 0; i < actual.size(); ++i) ASSERT_EQ(Bits(actual[i]), Bits(expected[i])) << what << ", sample " << i;
}

void ExpectSameEnvelope(const RcEnvelope& a, const RcEnvelope& b, const char* name) {
  EXPECT_EQ(a.Count(), b.Count()) << name;
  EXPECT_EQ(Bits(a.Level()), Bits(b.Level())) << name;
  EXPECT_EQ(Bits(a.Input()), Bits(b.Input())) << name;
  EXPECT_EQ(Bits(a.Target()), Bits(b.Target())) << name;
  EXPECT_EQ(Bits(a.OneMinusC()), Bits(b.OneMinusC())) << name;
  EXPECT_EQ(Bits(a.C()), Bits(b.C())) << name;
  EXPECT_EQ(Bits(a.Gain()), Bits(b.Gain())) << name;
}

// Everything that carries over from one sample to the next, once what
// Render left for later (the noise filters while nothing could hear them)
// has been brought forward.
void ExpectSameState(DrumVoice& a, DrumVoice& b) {
  a.CatchUp();
  b.CatchUp();
  EXPECT_EQ(a.SampleCount(), b.SampleCount());
  EXPECT_EQ(a.NoiseState(), b.NoiseState());
  EXPECT_EQ(Bits(a.HighPass().in), Bits(b.HighPass().in));
  EXPECT_EQ(Bits(a.HighPass().out), Bits(b.HighPass().out));
  EXPECT_EQ(Bits(a.LowPass().in), Bits(b.LowPass().in));
  EXPECT_EQ(Bits(a.LowPass().out), Bits(b.LowPass().out));
  ExpectSameEnvelope(a.AmpEnv(), b.AmpEnv(), "amp");
  ExpectSameEnvelope(a.ClickEnv(), b.ClickEnv(), "click");
  ExpectSameEnvelope(a.PitchEnv(), b.PitchEnv(), "pitch");
  EXPECT_EQ(a.Click().Position(), b.Click().Position());
  EXPECT_EQ(a.Click().Finished(), b.Click().Finished());
  EXPECT_EQ(Bits(a.Osc().Phase()), Bits(b.Osc().Phase()));
  EXPECT_EQ(Bits(a.Tail()), Bits(b.Tail()));
  EXPECT_EQ(Bits(a.LastOutput()), Bits(b.LastOutput()));
}

// Carries both voices on the same way, one sample at a time, with a hit
// along the way: any state Render left behind differently shows here.
void ExpectSameContinuation(DrumVoice& a, DrumVoice& b, int samples) {
  std::vector<float> fromA, fromB;
  for (int i = 0; i < samples; ++i) {
    if (i == samples / 3) {
      a.Trigger();
      b.Trigger();
    }
    fromA.push_back(a.NextSample());
    fromB.push_back(b.NextSample());
  }
  ExpectSameBits(fromB, fromA, "continuation");
}

std::vector<float> RenderInBlocks(DrumVoice& voice, int frames, int block) {
  std::vector<float> out(static_cast<size_t>(frames));
  for (int s = 0; s < frames; s += block) voice.Render(out.data() + s, frames - s < block ? frames - s : block);
  return out;
}

std::vector<float> RenderBySample(DrumVoice& voice, int frames) {
  std::vector<float> out;
  for (int s = 0; s < frames; ++s) out.push_back(voice.NextSample());
  return out;
}

// Every test below runs on each instruction set of the lanes.
class VoiceRender : public OnEveryVoiceLaneSet {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Lanes, VoiceRender, testing::ValuesIn(AvailableVoiceLanes()), VoiceLanesTestName);

TEST_P(VoiceRender, MixedBlocksGiveTheSamplesOfNextSampleAndTheReference) {
  DrumVoice blocks, single;
  ReferenceVoice reference;
  std::vector<float> fromBlocks, fromSingle, fromReference;
  // One voice of each kind through several rates in a row.
  for (double rate : {44100.0, 48000.0, 96000.0, 8000.0, 22050.0}) {
    RenderScenarioInBlocks(blocks, rate, kMixedBlocks, fromBlocks);
    RenderScenario(single, rate, fromSingle);
    RenderScenario(reference, rate, fromReference);
  }
  ExpectSameBits(fromSingle, fromReference, "NextSample against the reference");
  ExpectSameBits(fromBlocks, fromSingle, "Render against NextSample");
  ExpectSameState(blocks, single);
  ExpectSameContinuation(blocks, single, 3000);
}

TEST_P(VoiceRender, EveryFixedBlockSizeGivesTheSamplesOfNextSample) {
  DrumVoice single;
  std::vector<float> fromSingle;
  RenderScenario(single, 44100.0, fromSingle);
  for (int size : kMixedBlocks) {
    SCOPED_TRACE(size);
    DrumVoice blocks;
    std::vector<float> fromBlocks;
    RenderScenarioInBlocks(blocks, 44100.0, {size}, fromBlocks);
    ExpectSameBits(fromBlocks, fromSingle, "Render against NextSample");
    ExpectSameState(blocks, single);
  }
}

// The oscillator starts 2 ms after construction (sample 88 at 44.1 kHz, 192
// at 96 kHz): inside one block here.
TEST_P(VoiceRender, OscillatorStartInsideABlock) {
  for (double rate : {44100.0, 96000.0}) {
    for (int block : {1000, 100, 7}) {
      DrumVoice blocks, single;
      for (DrumVoice* voice : {&blocks, &single}) {
        voice->SetSampleRate(rate);
        ApplyDefaults(*voice);
        PadHit(*voice);
      }
      ExpectSameBits(RenderInBlocks(blocks, 1000, block), RenderBySample(single, 1000), "start");
      EXPECT_NE(blocks.Osc().Phase(), 0.0f);
      ExpectSameState(blocks, single);
    }
  }
}

// Without a sample rate the filters give NaN: the same NaNs either way.
TEST_P(VoiceRender, WithoutASampleRateTheSameBitsToo) {
  DrumVoice blocks, single;
  for (DrumVoice* voice : {&blocks, &single}) {
    ApplyDefaults(*voice);
    voice->SetNote(40);
    voice->Trigger();
  }
  ExpectSameBits(RenderInBlocks(blocks, 600, 100), RenderBySample(single, 600), "no rate");
  ExpectSameState(blocks, single);
}

// Frequencies above half the rate take the far phase wrap.
TEST_P(VoiceRender, PitchesAboveHalfTheRate) {
  DrumVoice blocks, single;
  for (DrumVoice* voice : {&blocks, &single}) {
    voice->SetSampleRate(8000.0);
    ApplyDefaults(*voice);
    voice->ApplyParam(0, 12.0);
    voice->ApplyParam(6, 1.0);
    voice->ApplyParam(9, 1.0);
    MidiHit(*voice, 127, 127);
  }
  ExpectSameBits(RenderInBlocks(blocks, 4000, 64), RenderBySample(single, 4000), "high pitch");
  ExpectSameState(blocks, single);
}

// Extreme knobs: the shaper runs past both ends of its table (infinite
// input too), the oscillator stops at pitch 0 or races far past the rate,
// and odd block lengths leave partial groups of four.
TEST_P(VoiceRender, ExtremeKnobsGiveTheSamplesOfNextSample) {
  const double distorts[] = {0.0, 40.0, 1e38, -3.0};
  const double pitches[] = {-2000.0, 0.0, 60.0, 150.0};
  for (double distort : distorts)
    for (double pitch : pitches) {
      DrumVoice blocks, single;
      for (DrumVoice* voice : {&blocks, &single}) {
        voice->SetSampleRate(22050.0);
        ApplyDefaults(*voice);
        voice->ApplyParam(0, pitch);
        voice->ApplyParam(8, distort);
        voice->ApplyParam(6, 1.0);
        PadHit(*voice);
      }
      ExpectSameBits(RenderInBlocks(blocks, 1500, 13), RenderBySample(single, 1500), "extreme knobs");
      ExpectSameState(blocks, single);
    }
}

TEST_P(VoiceRender, NoFramesChangeNothing) {
  DrumVoice voice;
  voice.SetSampleRate(44100.0);
  ApplyDefaults(voice);
  PadHit(voice);
  voice.NextSample();
  float untouched = 7.0f;
  voice.Render(&untouched, 0);
  voice.Render(&untouched, -3);
  EXPECT_EQ(untouched, 7.0f);
  EXPECT_EQ(voice.SampleCount(), 1);
}

// Random blocks with random knob moves, notes, modes and hits between them.
TEST_P(VoiceRender, RandomBlocksAndEventsGiveTheSamplesOfNextSample) {
  std::mt19937 random(20240611u);
  const auto uniform = [&random](double low, double high) {
    return low + (high - low) * static_cast<double>(random() % 1000001u) / 1000000.0;
  };
  DrumVoice blocks, single;
  std::vector<float> fromBlocks, fromSingle;
  for (DrumVoice* voice : {&blocks, &single}) {
    voice->SetSampleRate(48000.0);
    ApplyDefaults(*voice);
  }
  for (int round = 0; round < 400; ++round) {
    const uint32_t what = random() % 8u;
    const int index = static_cast<int>(random() % 11u);
    const double value = index == 0 ? uniform(-12.0, 12.0) : uniform(0.0, 1.0);
    const int note = static_cast<int>(random() % 128u);
    const double rate = (random() % 2u) != 0 ? 44100.0 : 96000.0;
    for (DrumVoice* voice : {&blocks, &single}) {
      if (what <= 2)
        voice->ApplyParam(index, value);
      else if (what <= 5)
        MidiHit(*voice, note, note);
      else if (what == 6 && round % 50 == 0)
        voice->SetSampleRate(rate);
    }
    const int frames = 1 + static_cast<int>(random() % 700u);
    const std::vector<float> a = RenderInBlocks(blocks, frames, frames);
    const std::vector<float> b = RenderBySample(single, frames);
    fromBlocks.insert(fromBlocks.end(), a.begin(), a.end());
    fromSingle.insert(fromSingle.end(), b.begin(), b.end());
  }
  ExpectSameBits(fromBlocks, fromSingle, "random");
  ExpectSameState(blocks, single);
}

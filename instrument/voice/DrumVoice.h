#pragma once

#include <cstdint>

#include "instrument/voice/ClickWave.h"
#include "instrument/voice/RcEnvelope.h"
#include "instrument/voice/TriangleOscillator.h"
#include "instrument/voice/VoiceStages.h"

// Bilinear one-pole filters of the noise path (about 25.7 Hz and 558 Hz). The coefficients depend only
// on the rate and the time constant and are kept from SetSampleRate.
struct NoiseHighPass {
  float out = 0.5041f;
  float in = 1.2383f;
  double sampleRate = 0.0;
  float tau = 0.0062f;
  double b = 0.0;
  double r = 0.0;

  void SetSampleRate(double rate);
  float Next(float u) {
    const float h = static_cast<float>(b * u - b * in - r * out);
    in = u;
    out = h;
    return h;
  }
};

struct NoiseLowPass {
  float out = 0.0f;
  float in = 0.0f;
  double sampleRate = 0.0;
  float tau = 0.000285f;
  double g = 0.0;
  double r = 0.0;

  void SetSampleRate(double rate);
  float Next(float h) {
    const float w = static_cast<float>(g * h + g * in - r * out);
    in = h;
    out = w;
    return w;
  }
};

// The settings ApplyParam takes, numbered as the instrument's parameters
// carry them; the instrument checks at compile time that the two agree.
enum VoiceSetting : int {
  kVoicePitch,
  kVoiceAccent,
  kVoiceDecay,
  kVoiceTuneDecay,
  kVoiceAttack,
  kVoiceHold,
  kVoiceTuneDepth,
  kVoiceNoiseDecay,
  kVoiceDistort,
  kVoiceMidiTuneFlag,
  kVoiceMidiAccentFlag,
  kVoiceSettingCount
};

// The monophonic bass-drum voice: knob values become component values and
// time constants; every hit restarts the envelopes, the click and the
// oscillator, and carries the previous output on as a decaying tail.
class DrumVoice {
public:
  DrumVoice();
  ~DrumVoice();
  DrumVoice(const DrumVoice&) = delete;
  DrumVoice& operator=(const DrumVoice&) = delete;

  void SetSampleRate(double sampleRate);
  // The parameters the table gives the voice, in their natural units; other
  // indices are ignored.
  void ApplyParam(int index, double x);
  void SetNote(int32_t note) { note_ = note; }
  void SetMidiAccent(double midiAccent) { midiAccent_ = midiAccent; }
  void Trigger();
  float NextSample();
  // The next frames samples, exactly as that many NextSample calls would
  // give them, worked out stage by stage over short stretches.
  void Render(float* out, int32_t frames);
  // Runs what a skip of silent samples left behind (the noise filters and
  // the oscillator's phase), so that every value reads as if each sample
  // had been worked out; Render and NextSample do it when they need to.
  void CatchUp();
  // For tests and benchmarks: with false every sample is worked out, even
  // while the voice is at rest. Process-wide.
  static void EnableSettledSkip(bool enabled);

  double SampleRate() const { return sampleRate_; }
  float Attack() const { return attack_; }
  float Accent() const { return accent_; }
  float TuneDecayX2() const { return tuneDecayX2_; }
  float DecayX2() const { return decayX2_; }
  float HoldX2() const { return holdX2_; }
  float TuneDepthX2() const { return tuneDepthX2_; }
  float Pitch() const { return pitch_; }
  float BaseFrequency() const { return baseFrequency_; }
  float Distort() const { return distort_; }
  float NoiseDecay() const { return noiseDecay_; }
  int64_t SampleCount() const { return sampleCount_; }
  const RcEnvelope& AmpEnv() const { return ampEnv_; }
  const RcEnvelope& ClickEnv() const { return clickEnv_; }
  const RcEnvelope& PitchEnv() const { return pitchEnv_; }
  // The noise filters and the oscillator as of the last catch-up.
  const NoiseHighPass& HighPass() const { return highPass_; }
  const NoiseLowPass& LowPass() const { return lowPass_; }
  uint32_t NoiseState() const { return noiseState_; }
  const ClickWave& Click() const { return click_; }
  const TriangleOscillator& Osc() const { return osc_; }
  double Tail() const { return tail_; }
  double TailTau() const { return tailTau_; }
  double TailSampleRate() const { return tailSampleRate_; }
  int32_t Note() const { return note_; }
  double MidiAccent() const { return midiAccent_; }
  int32_t TuneMode() const { return tuneMode_; }
  int32_t AccentMode() const { return accentMode_; }
  double LastOutput() const { return lastOutput_; }

private:
  double sampleRate_ = 0.0;
  float attack_ = 0.0f;
  float accent_ = 0.0f;
  float tuneDecayX2_ = 0.0f;
  float decayX2_ = 0.0f;
  float holdX2_ = 0.0f;
  float tuneDepthX2_ = 0.0f;
  float pitch_ = 0.0f;
  float baseFrequency_ = 0.0f;
  float distort_ = 0.0f;
  float noiseDecay_ = 0.0f;
  // The pitch envelope's fixed gain: 14.8 V at the top of the sweep.
  static constexpr float kPitchGain = 14.8f;
  // 64-bit: it must never wrap and mute the oscillator again.
  int64_t sampleCount_ = 0;
  RcEnvelope ampEnv_;
  RcEnvelope clickEnv_;
  RcEnvelope pitchEnv_;
  NoiseHighPass highPass_;
  NoiseLowPass lowPass_;
  uint32_t noiseState_ = 0;
  ClickWave click_;
  TriangleOscillator osc_;
  double tail_ = 0.0;
  double tailTau_ = 0.1;
  double tailSampleRate_ = 0.0;
  int32_t note_ = 0;
  double midiAccent_ = 0.0;
  int32_t tuneMode_ = 0;
  int32_t accentMode_ = 0;
  double lastOutput_ = 0.0;

  // Kept from SetSampleRate: per-sample results are the same as with the
  // direct formulas.
  double tailFactor_ = 1.0;
  double oscStartCount_ = -1.0;

  void RenderStretch(float* out, int n);
  // The envelopes and the tail over the stretch's first n frames; true
  // when the click stage may draw current in them.
  bool RunEnvelopes(int n);
  // Whether the filtered noise is worked out for those frames: the click
  // stage can pass it on, or deferring is off.
  bool NoiseHeard(bool clickSilent) const;
  // The noise and its filters over them.
  void RunNoise(int n);

  // Settled: every part at rest, so the output stays exactly what the
  // tail gives until a hit or a parameter says otherwise.
  bool Settled() const;
  void SkipSettled(float* out, int32_t frames);
  void CatchUpNoise();
  void CatchUpPhase();
  // Samples skipped since the noise filters and the phase last ran, and
  // the generator's state before the first of them.
  uint64_t filterDebt_ = 0;
  uint64_t phaseDebt_ = 0;
  uint32_t debtNoiseState_ = 0;
  VoiceStretch stretch_{};
};

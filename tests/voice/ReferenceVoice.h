#pragma once

#include <cstdint>

// The voice written as plainly as possible: every coefficient worked out on
// every sample straight from its formula. The real voice keeps coefficients
// between samples and must produce the same bits.
class ReferenceVoice {
public:
  void SetSampleRate(double sampleRate);
  void ApplyParam(int index, double x);
  void SetNote(int32_t value) { note = value; }
  void SetMidiAccent(double value) { midiAccent = value; }
  void Trigger();
  float NextSample();

private:
  struct Envelope {
    float attackTau;
    double holdTime;
    double releaseTau;
    double gain;
    double sampleRate = 0.0;
    double input = 1.0;
    double level = 0.0;
    int64_t count = 66666;
    float target = 1.0f;
    float Next();
  };

  double sampleRate = 0.0;
  float attack = 0, accent = 0, tuneDecayX2 = 0, decayX2 = 0, holdX2 = 0, tuneDepthX2 = 0;
  float pitch = 0, baseFrequency = 0, distort = 0, noiseDecay = 0;
  int64_t sampleCount = 0;
  Envelope ampEnv{0.000594f, 0.0, 0.0, 0.0};
  Envelope clickEnv{0.000726f, 0.002f, 0.02079f, 0.0};
  Envelope pitchEnv{0.0010164f, 0.0023f, 0.0, 14.8f};
  float hpOut = 0.5041f, hpIn = 1.2383f, hpTau = 0.0062f;
  float lpOut = 0.0f, lpIn = 0.0f, lpTau = 0.000285f;
  uint32_t noiseState = 0;
  int32_t clickPosition = 0;
  float phase = 0.0f;
  double tail = 0.0;
  int32_t note = 0;
  double midiAccent = 0.0;
  int32_t tuneMode = 0, accentMode = 0;
  double lastOutput = 0.0;

  float NextClick();
  float NextOscillator(float f, float p);
};

#pragma once

#include <cstdint>

// The transistor stages of the drum circuit as transfer polynomials. The
// float and double steps are part of the sound; keep them as they are.
//
// The formulas are templates over a float or double, or a vector of them,
// so that the sample-by-sample voice and the SIMD lanes share them; they
// have internal linkage, so that the files built for wider instruction sets
// each keep their own copy.

// The circuit's constants and the formulas both voices share.
// Envelope voltages above which the body and click stages draw current.
inline constexpr double kBodyDriveThreshold = 0.45;
inline constexpr double kClickDriveThreshold = 1.86;
// A click drive below this cannot round to float at or above its threshold.
inline constexpr double kClickDriveSurelyBelow = 1.85;
// Hertz of pitch sweep per unit of pitch envelope and of tune depth.
inline constexpr double kPitchSweepHz = 14.0;
// Oscillator gain into the shaper per unit of (distort + 1).
inline constexpr double kShaperDrive = 4.5;
// The noise generator: x -> 69069 x + 1.
inline constexpr uint32_t kNoiseMultiplier = 69069u;
inline constexpr uint32_t kNoiseIncrement = 1u;

// Oscillator frequency from the pitch envelope (as a double).
template <class T>
static inline T PitchFrequencyOf(T pitch, double tuneDepthX2, double baseFrequency) {
  return pitch * kPitchSweepHz * tuneDepthX2 + baseFrequency;
}

// Noise level 0 to 1.5 from the generator's state scaled to -1..1 (floats).
template <class T>
static inline T NoiseLevelOf(T centred) {
  return 0.1f * (7.5f * centred + 7.5f);
}

// The output: the body with a share of the click, over the carried tail (doubles).
template <class T>
static inline T MixOf(T body, T click, T tail) {
  return 0.25 * (body + 0.3 * click) + tail;
}

// Drive of the click stage from the click sample and the filtered noise
// (both as doubles); the "Attack" knob scales it by its square, so 0
// removes it entirely.
template <class T>
static inline T ClickNoiseDriveOf(T click, T noise, double attackSquared) {
  return (0.6496 * (click * 7.5 * 1.5) + 3.0409 * noise) * attackSquared / 100.0;
}

// Base current through 470 kOhm of an envelope (as a double) above the
// stage's threshold voltage.
template <class T>
static inline T CurrentAbove(T envelope, double threshold) {
  return (envelope - threshold) / 470000.0;
}

// The click and noise stage and the body stage for drive d and current i2,
// and for the shaped oscillator m and current i1, in float before their
// division by the divisors below, which is done in double.
template <class T>
static inline T ClickStageScaled(T d, T i2) {
  return (1.161f - (9275.0f * (d * d) + 523.7f * d)) * i2;
}
template <class T>
static inline T BodyStageScaled(T m, T i1) {
  return (0.4633f - (2.251f * (m * m) + 9.76f * m)) * i1;
}
inline constexpr double kClickStageDivisor = 2.4e-5;
inline constexpr double kBodyStageDivisor = 2.7e-5;

// The sample-by-sample forms.
static inline float ClickNoiseDrive(float click, float noise, float attack) {
  const double attackSquared = static_cast<double>(attack) * attack;
  return static_cast<float>(ClickNoiseDriveOf(static_cast<double>(click), static_cast<double>(noise), attackSquared));
}

// 0 below the threshold.
static inline float DriveCurrent(float envelope, double threshold) {
  return envelope < threshold ? 0.0f : static_cast<float>(CurrentAbove(static_cast<double>(envelope), threshold));
}

static inline float ClickStage(float d, float i2) {
  return static_cast<float>(ClickStageScaled(d, i2) / kClickStageDivisor);
}

static inline float BodyStage(float m, float i1) {
  return static_cast<float>(BodyStageScaled(m, i1) / kBodyStageDivisor);
}

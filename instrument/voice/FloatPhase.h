#pragma once
// The oscillator works its phase out as double sums of floats rounded back
// to float. The lanes do the same in float arithmetic where the bits agree:
// a float sum is what such a double sum rounds to, and the differences with
// the wrap's 2 are exact. The functions have internal linkage, so that the
// files built for wider instruction sets each keep their own copy; T is
// float or a vector of floats.

#include "instrument/voice/VoiceStages.h"

// float(wrap(double(phase) + 0.5)) for a phase in [-1, 1]: the sum reaches
// 1 exactly from 0.5 on.
template <class T>
static inline T PhasePlusHalf(T phase) {
  return phase >= 0.5f ? phase - 1.5f : phase + 0.5f;
}

// float(wrap(double(q) + 1.0)) for q in [-1, 1]: the double sum rounds to 1
// from q = -2^-54 on.
template <class T>
static inline T PhasePlusOne(T q) {
  return q >= -0x1p-54f ? q - 1.0f : q + 1.0f;
}

// One step of TriangleOscillator::Advance; inside (-1, 1) the float sum
// needs no wrap.
static inline float PhaseStep(float phase, float inc) {
  const float sum = phase + inc;
  return sum < 1.0f && sum > -1.0f ? sum : WrapPhaseSum(phase, inc);
}

// float(2 step) is 2 float(step) wherever float(step) is at least this
// large in magnitude: both are normal floats, and scaling by 2 commutes
// with rounding (or both overflow).
inline constexpr float kSmallestDoublableStep = 0x1p-125f;

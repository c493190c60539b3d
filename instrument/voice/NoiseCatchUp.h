#pragma once

#include <cstdint>

#include "instrument/voice/TransferCurves.h"
#include "instrument/voice/VoiceStages.h"

// The noise generator and its two filters, brought forward over samples
// that were skipped while the voice was silent. The generator is a linear
// congruential step and jumps arithmetically; the filters are rounded
// recurrences with no closed form, so they are run again, but only over
// the last stretch of the skip: both filters are monotone in their earlier
// values, so two runs started from bounds on every value they could hold
// enclose the real one, and once they meet they are it.

// One step of the generator.
inline uint32_t NextNoiseState(uint32_t state) { return state * kNoiseMultiplier + kNoiseIncrement; }

// The generator after steps steps, in O(log steps).
uint32_t JumpNoiseState(uint32_t state, uint64_t steps);

// Noise from the generator state, 0 to 1.5 before filtering.
inline float NoiseLevel(uint32_t state) { return NoiseLevelOf(static_cast<float>(state) / 2147483648.0f - 1.0f); }

struct NoiseFilterCoefficients {
  double highPassB;
  double highPassR;
  double lowPassG;
  double lowPassR;
};

// The filters' carried values: each filter's last input and output.
struct NoiseFilterValues {
  float highPassIn;
  float highPassOut;
  float lowPassIn;
  float lowPassOut;
};

// True when bounds can enclose the filters: finite values, and
// coefficients for which each step grows with the earlier values.
bool NoiseFiltersBoundable(const NoiseFilterCoefficients& c, const NoiseFilterValues& v);

// An interval that holds the high-pass output after steps samples.
struct HighPassInterval {
  double centre;
  double halfWidth;
};

// The high-pass output after steps samples from v, worked out as the
// unrounded filter would give it, with a bound on what the rounding of
// every step can have added. Needs NoiseFiltersBoundable; scratch's noise
// arrays are overwritten. Only the last few thousand samples' noise is
// summed (what came before has faded below the rounding), so the cost is
// bounded by the filter's memory, not by steps.
HighPassInterval EstimateHighPass(const NoiseFilterCoefficients& c, const NoiseFilterValues& v, uint32_t state,
                                  uint64_t steps, VoiceStretch& scratch);

// The filters' values after steps more samples of noise, starting with the
// generator at state (the state of the sample that gave v). Exactly what
// running every sample would give; the work is bounded by the filters'
// memory, not by steps, when NoiseFiltersBoundable holds. scratch's noise
// arrays are overwritten.
NoiseFilterValues CatchUpNoiseFilters(const NoiseFilterCoefficients& c, const NoiseFilterValues& v, uint32_t state,
                                      uint64_t steps, VoiceStretch& scratch);
// The same by running every sample: the reference and the short case.
NoiseFilterValues RunNoiseFilters(const NoiseFilterCoefficients& c, NoiseFilterValues v, uint32_t state,
                                  uint64_t steps);

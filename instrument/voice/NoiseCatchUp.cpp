#include "instrument/voice/NoiseCatchUp.h"

#include <bit>
#include <cmath>

namespace {

// One step's rounding, in float and in double, can grow a magnitude by no
// more than this.
constexpr double kRoundingSlack = 1.0 + 0x1p-20;

// Every value of the generator's noise lies in [0, 1.5].
constexpr double kNoiseSpan = 1.5;

void Step(const NoiseFilterCoefficients& c, NoiseFilterValues& v, float u) {
  const float h = static_cast<float>(c.highPassB * u - c.highPassB * v.highPassIn - c.highPassR * v.highPassOut);
  v.highPassIn = u;
  v.highPassOut = h;
  const float w = static_cast<float>(c.lowPassG * h + c.lowPassG * v.lowPassIn - c.lowPassR * v.lowPassOut);
  v.lowPassIn = h;
  v.lowPassOut = w;
}

bool SameNonZero(float a, float b) { return a != 0.0f && std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

bool Met(const NoiseFilterValues& low, const NoiseFilterValues& high) {
  return SameNonZero(low.highPassOut, high.highPassOut) && SameNonZero(low.lowPassIn, high.lowPassIn) &&
         SameNonZero(low.lowPassOut, high.lowPassOut);
}

// |high-pass output| never exceeds this from v on: the largest value the
// step can keep, or the present one if larger.
double HighPassBound(const NoiseFilterCoefficients& c, const NoiseFilterValues& v) {
  const double steady = kNoiseSpan * c.highPassB * kRoundingSlack / (1.0 - std::fabs(c.highPassR) * kRoundingSlack);
  return std::fmax(2.0 * steady, std::fmax(std::fabs(v.highPassOut), std::fabs(v.lowPassIn)));
}

double LowPassBound(const NoiseFilterCoefficients& c, const NoiseFilterValues& v, double highPassBound) {
  const double steady =
      2.0 * c.lowPassG * highPassBound * kRoundingSlack / (1.0 - std::fabs(c.lowPassR) * kRoundingSlack);
  return std::fmax(2.0 * steady, std::fabs(v.lowPassOut));
}

// Samples the two bounding runs are given before the window is widened:
// enough for the high-pass's memory to shrink the bounds to its rounding.
uint64_t FirstWindow(const NoiseFilterCoefficients& c) {
  const double memory = 1.0 / (1.0 - std::fabs(c.highPassR));
  return static_cast<uint64_t>(std::fmin(48.0 * memory, 0x1p40)) + 1024;
}

}  // namespace

uint32_t JumpNoiseState(uint32_t state, uint64_t steps) {
  // The step applied 2^i times is again x -> multiplier x + increment;
  // powers of one map commute, so they compose in any order.
  uint32_t multiplier = kNoiseMultiplier;
  uint32_t increment = kNoiseIncrement;
  while (steps != 0) {
    if ((steps & 1u) != 0) state = state * multiplier + increment;
    increment = increment * multiplier + increment;
    multiplier *= multiplier;
    steps >>= 1;
  }
  return state;
}

bool NoiseFiltersBoundable(const NoiseFilterCoefficients& c, const NoiseFilterValues& v) {
  const bool finite = std::isfinite(v.highPassIn) && std::isfinite(v.highPassOut) && std::isfinite(v.lowPassIn) &&
                      std::isfinite(v.lowPassOut) && std::isfinite(c.highPassB) && std::isfinite(c.lowPassG);
  // Negative feedback factors: each output grows with the one before.
  const bool monotone = c.highPassB > 0.0 && c.lowPassG > 0.0 && c.highPassR < 0.0 && c.lowPassR < 0.0;
  return finite && monotone && -c.highPassR * kRoundingSlack < 1.0 && -c.lowPassR * kRoundingSlack < 1.0;
}

NoiseFilterValues RunNoiseFilters(const NoiseFilterCoefficients& c, NoiseFilterValues v, uint32_t state,
                                  uint64_t steps) {
  for (uint64_t i = 0; i < steps; ++i) {
    state = NextNoiseState(state);
    Step(c, v, NoiseLevel(state));
  }
  return v;
}

NoiseFilterValues CatchUpNoiseFilters(const NoiseFilterCoefficients& c, const NoiseFilterValues& v, uint32_t state,
                                      uint64_t steps) {
  if (!NoiseFiltersBoundable(c, v)) return RunNoiseFilters(c, v, state, steps);
  const double highBound = HighPassBound(c, v);
  const double lowBound = LowPassBound(c, v, highBound);
  for (uint64_t window = FirstWindow(c); window < steps; window *= 2) {
    // The runs start at the sample window steps before the end.
    uint32_t s = JumpNoiseState(state, steps - window);
    const float u = NoiseLevel(s);
    NoiseFilterValues low = {u, static_cast<float>(-highBound), static_cast<float>(-highBound),
                             static_cast<float>(-lowBound)};
    NoiseFilterValues high = {u, static_cast<float>(highBound), static_cast<float>(highBound),
                              static_cast<float>(lowBound)};
    for (uint64_t i = 0; i < window; ++i) {
      s = NextNoiseState(s);
      const float next = NoiseLevel(s);
      Step(c, low, next);
      Step(c, high, next);
      if (Met(low, high)) return RunNoiseFilters(c, low, s, window - i - 1);
    }
  }
  return RunNoiseFilters(c, v, state, steps);
}

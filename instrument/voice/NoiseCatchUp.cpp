#include "instrument/voice/NoiseCatchUp.h"

#include <bit>
#include <cmath>

namespace {

// One step's rounding, in float and in double, can grow a magnitude by no
// more than this.
constexpr double kRoundingSlack = 1.0 + 0x1p-20;

// Every value of the generator's noise lies in [0, 1.5].
constexpr double kNoiseSpan = 1.5;

// The window of the runs from an estimate grows to at most this many times
// its first size.
constexpr uint64_t kWidestEstimatedWindow = 8;

// What flushing a tiny value to zero can lose.
constexpr double kTiny = 0x1p-125;

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
// enough for the high-pass's memory to shrink the bounds to its rounding
// (they meet after 25 to 30 memories), and no more, as a hit after a
// pause waits for this catch-up.
uint64_t FirstWindow(const NoiseFilterCoefficients& c) {
  const double memory = 1.0 / (1.0 - std::fabs(c.highPassR));
  return static_cast<uint64_t>(std::fmin(36.0 * memory, 0x1p40)) + 256;
}

// The filters of runs runs side by side over steps samples of the same
// noise, the generator starting at state; the runs' chains overlap. Every
// run starts from the same last input. Each step is the filters' own:
// h = b u - b in - r out, then w = g h + g in - r out, each rounded to float.
template <int runs>
void RunSideBySide(const NoiseFilterCoefficients& c, NoiseFilterValues* v, uint32_t state, uint64_t steps) {
  float highOut[runs];
  float lowOut[runs];
  // g * in of the low-pass is the g * h of the step before.
  double lowGIn[runs];
  for (int r = 0; r < runs; ++r) {
    highOut[r] = v[r].highPassOut;
    lowOut[r] = v[r].lowPassOut;
    lowGIn[r] = c.lowPassG * v[r].lowPassIn;
  }
  float u = v[0].highPassIn;
  double bIn = c.highPassB * u;
  for (uint64_t i = 0; i < steps; ++i) {
    state = NextNoiseState(state);
    u = NoiseLevel(state);
    const double bU = c.highPassB * u;
    const double term = bU - bIn;
    bIn = bU;
    for (int r = 0; r < runs; ++r) {
      const float h = static_cast<float>(term - c.highPassR * highOut[r]);
      const double gH = c.lowPassG * h;
      lowOut[r] = static_cast<float>(gH + lowGIn[r] - c.lowPassR * lowOut[r]);
      lowGIn[r] = gH;
      highOut[r] = h;
    }
  }
  if (steps == 0) return;
  for (int r = 0; r < runs; ++r) v[r] = {u, highOut[r], highOut[r], lowOut[r]};
}

// The two runs from bounds on the filters' values window samples before
// the end of steps, the high-pass output between highPassLow and
// highPassHigh and the low-pass output within lowPassBound; the values at
// the end, or false when the runs have not met by then, which leaves them
// unknown.
bool RunBoundsToTheEnd(const NoiseFilterCoefficients& c, uint32_t state, uint64_t steps, uint64_t window,
                       float highPassLow, float highPassHigh, float lowPassBound, NoiseFilterValues& end) {
  uint32_t s = JumpNoiseState(state, steps - window);
  const float u = NoiseLevel(s);
  NoiseFilterValues bounds[2] = {{u, highPassLow, highPassLow, -lowPassBound},
                                 {u, highPassHigh, highPassHigh, lowPassBound}};
  // Once met the runs stay together: looked at every so many samples.
  constexpr uint64_t kMeetCheck = 64;
  for (uint64_t done = 0; done < window;) {
    const uint64_t chunk = window - done < kMeetCheck ? window - done : kMeetCheck;
    RunSideBySide<2>(c, bounds, s, chunk);
    s = JumpNoiseState(s, chunk);
    done += chunk;
    if (Met(bounds[0], bounds[1])) {
      RunSideBySide<1>(c, bounds, s, window - done);
      end = bounds[0];
      return true;
    }
  }
  return false;
}

float FloatAtOrBelow(double x) {
  const float f = static_cast<float>(x);
  return static_cast<double>(f) > x ? std::nextafter(f, -INFINITY) : f;
}

float FloatAtOrAbove(double x) {
  const float f = static_cast<float>(x);
  return static_cast<double>(f) < x ? std::nextafter(f, INFINITY) : f;
}

// The bound on the roundings only holds while they cannot add up to the
// filter's own size.
bool EstimateUsable(const NoiseFilterCoefficients& c) { return 0x1p-23 / (1.0 + c.highPassR) < 0.25; }

// What the roundings of the high-pass can add up to, from an input term
// bound: at most 2^-24 of the float step and a few 2^-53 of the double
// ones, taken as 2^-23, plus what flushing tiny values loses, over the
// filter's memory.
struct HighPassRounding {
  double termBound;    // |b u - b in| of every step
  double outputBound;  // |h| of every rounded step
  double k;            // share of term plus output that rounding adds, over the memory
};

// For a run from last input in and an output of at most h0 in size. Every
// noise level lies in [0, kNoiseSpan], so the unrounded output, summed by
// parts, stays within the span plus |b in|.
HighPassRounding RoundingFrom(const NoiseFilterCoefficients& c, float in, double h0) {
  const double b = c.highPassB;
  const double memory = 1.0 / (1.0 + c.highPassR);
  const double spanTerm = kNoiseSpan * b * (1.0 + 0x1p-50);
  const double firstTerm = std::fabs(static_cast<double>(in)) * b * (1.0 + 0x1p-50);
  const double termBound = (spanTerm + firstTerm) * (1.0 + 0x1p-50);
  const double linearBound = spanTerm + firstTerm + 0x1p-50 * termBound * memory;
  const double k = 0x1p-23 * memory;
  return {termBound, (h0 + linearBound + k * termBound + kTiny * memory) / (1.0 - k), k};
}

// How far the rounded high-pass output after steps samples from an output
// of at most h0 can lie from the unrounded filter's, worked out in double.
double RoundingSpread(const NoiseFilterCoefficients& c, float in, double h0, uint64_t steps) {
  const double memory = 1.0 / (1.0 + c.highPassR);
  const HighPassRounding r = RoundingFrom(c, in, h0);
  const double rounding = r.k * (r.termBound + r.outputBound) + kTiny * memory;
  // Each term passes fewer than steps + 64 double roundings on its way.
  const double summing = (static_cast<double>(steps) + 64.0) * 0x1p-50 * (r.termBound * memory + h0);
  return 2.0 * (rounding + summing) + kTiny;
}

// Noise older than this many samples has faded below 2^-14 of the largest
// output the filter can hold, so the estimate starts there from an output
// known only by that bound.
uint64_t EstimateHorizon(const NoiseFilterCoefficients& c, double outputBound) {
  const double memory = 1.0 / (1.0 + c.highPassR);
  return static_cast<uint64_t>(memory * std::log(std::fmax(2.0, outputBound * 0x1p14))) + 1;
}

// rho^steps h, for rho in (0, 1), rounded up: rho^n <= e^(-n (1 - rho)).
double FadedBound(double rho, uint64_t steps, double h) {
  return std::exp(-static_cast<double>(steps) * (1.0 - rho)) * h * (1.0 + 0x1p-40);
}

// The linear estimate's centre and spread after steps samples from v, or
// from its last horizon samples.
struct EstimateStart {
  uint32_t state;
  float in;
  float out;  // 0 when only the bound is known
  double outBound;
  uint64_t steps;
  double faded;  // what the forgotten output can still add
};

EstimateStart StartOfEstimate(const NoiseFilterCoefficients& c, const NoiseFilterValues& v, uint32_t state,
                              uint64_t steps) {
  const double bound = RoundingFrom(c, v.highPassIn, std::fabs(static_cast<double>(v.highPassOut))).outputBound;
  const uint64_t horizon = EstimateHorizon(c, bound);
  if (steps <= horizon)
    return {state, v.highPassIn, v.highPassOut, std::fabs(static_cast<double>(v.highPassOut)), steps, 0.0};
  const uint32_t recent = JumpNoiseState(state, steps - horizon);
  return {recent, NoiseLevel(recent), 0.0f, bound, horizon, FadedBound(-c.highPassR, horizon, bound)};
}

// The half width EstimateHighPass gives, apart from its centre's own rounding.
double EstimateWidth(const NoiseFilterCoefficients& c, const EstimateStart& e) {
  return RoundingSpread(c, e.in, e.outBound, e.steps) + e.faded;
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
  RunSideBySide<1>(c, &v, state, steps);
  return v;
}

HighPassInterval EstimateHighPass(const NoiseFilterCoefficients& c, const NoiseFilterValues& v, uint32_t state,
                                  uint64_t steps, VoiceStretch& scratch) {
  // h_j = T_j + rho h_(j-1) + e_j, with T_j the double input term and e_j
  // what the step's roundings add. The sum of rho^(steps-j) T_j, plus
  // rho^steps h_0, is worked out in eight interleaved Horner chains.
  const EstimateStart start = StartOfEstimate(c, v, state, steps);
  steps = start.steps;
  const double rho = -c.highPassR;
  const double rho2 = rho * rho;
  const double rho4 = rho2 * rho2;
  const double rho8 = rho4 * rho4;
  double chains[8] = {0, 0, 0, 0, 0, 0, 0, start.out};
  double tailSum = 0.0;
  uint64_t done = 0;
  uint32_t s = start.state;
  float in = start.in;
  bool combined = false;
  while (done < steps) {
    const int chunk =
        steps - done < static_cast<uint64_t>(kVoiceStretch) ? static_cast<int>(steps - done) : kVoiceStretch;
    FillVoiceNoise(scratch, {s, in, c.highPassB}, chunk);
    s = scratch.noiseState[chunk - 1];
    in = scratch.noiseLevel[chunk - 1];
    const int grouped = chunk / 8 * 8;
    for (int k = 0; k < grouped; k += 8)
      for (int m = 0; m < 8; ++m) chains[m] = rho8 * chains[m] + scratch.noiseTerm[k + m];
    done += static_cast<uint64_t>(chunk);
    if (grouped < chunk) {
      // Only the last chunk is short: the chains end here.
      for (int m = 0; m < 8; ++m) tailSum = rho * tailSum + chains[m];
      for (int k = grouped; k < chunk; ++k) tailSum = rho * tailSum + scratch.noiseTerm[k];
      combined = true;
    }
  }
  if (!combined)
    for (int m = 0; m < 8; ++m) tailSum = rho * tailSum + chains[m];

  return {tailSum, EstimateWidth(c, start) + 0x1p-50 * std::fabs(tailSum)};
}

NoiseFilterValues CatchUpNoiseFilters(const NoiseFilterCoefficients& c, const NoiseFilterValues& v, uint32_t state,
                                      uint64_t steps, VoiceStretch& scratch) {
  if (!NoiseFiltersBoundable(c, v)) return RunNoiseFilters(c, v, state, steps);
  const double highBound = HighPassBound(c, v);
  const double lowBound = LowPassBound(c, v, highBound);
  const uint64_t firstWindow = FirstWindow(c);
  NoiseFilterValues end;

  // From an estimate of the high-pass output the two runs start close
  // together and meet after a few memories: the bounds shrink by e per
  // memory until they are within rounding of each other, and the
  // low-pass then follows in a few of its own.
  if (steps > firstWindow && EstimateUsable(c)) {
    const double memory = 1.0 / (1.0 - std::fabs(c.highPassR));
    const double lowMemory = 1.0 / (1.0 - std::fabs(c.lowPassR));
    // In trials runs from an interval this wide met after 10 memories on
    // average and 16 at most (the low-pass output is the smaller, so its
    // rounding is the finer); any that have not try again from twice as
    // far back, a few times at most before the loose bounds take over. No
    // estimate is wider than the one for all the steps.
    const double width = EstimateWidth(c, StartOfEstimate(c, v, state, steps));
    const double shrink = std::log(std::fmax(1.0, width * 0x1p26));
    const auto first = static_cast<uint64_t>(memory * (shrink + 6.0) + 40.0 * lowMemory) + 64;
    for (uint64_t window = first; window < steps && window <= kWidestEstimatedWindow * first; window *= 2) {
      const HighPassInterval h = EstimateHighPass(c, v, state, steps - window, scratch);
      if (RunBoundsToTheEnd(c, state, steps, window, FloatAtOrBelow(h.centre - h.halfWidth),
                            FloatAtOrAbove(h.centre + h.halfWidth), static_cast<float>(lowBound), end))
        return end;
    }
  }
  for (uint64_t window = firstWindow; window < steps; window *= 2) {
    if (RunBoundsToTheEnd(c, state, steps, window, static_cast<float>(-highBound), static_cast<float>(highBound),
                          static_cast<float>(lowBound), end))
      return end;
  }
  return RunNoiseFilters(c, v, state, steps);
}

// The voice stages over SIMD lanes, written once for every instruction set.
// Included only by VoiceStagesSse2/Avx2/Avx512.cpp, each built with its own
// target flags and defining `Lanes` first: the vector types and the few
// operations that need the set's own instructions.
//
// Everything here stays inside an unnamed namespace, and the headers it
// includes declare no inline functions with external linkage, so no
// function built for a wide set can be picked by the linker for code that
// runs on a narrower processor.
//
// Each float step is a float operation and each double step a double one,
// lane by lane, in the order of the scalar voice: the results are the same
// bits as NextSample's on every set.

#include "instrument/voice/BlampPolynomial.h"
#include "instrument/voice/FloatPhase.h"
#include "instrument/voice/ShaperTable.h"
#include "instrument/voice/TransferCurves.h"
#include "instrument/voice/VoiceStages.h"

namespace {

using F = Lanes::F;
using D = Lanes::D;
using I = Lanes::I;
using U = Lanes::U;
using FMask = decltype(F{} < F{});
using DMask = decltype(D{} < D{});
constexpr int kWidth = Lanes::kWidth;
constexpr int kHalf = kWidth / 2;

template <class V, class T>
inline V Load(const T* p) {
  V v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

template <class V, class T>
inline void Store(T* p, V v) {
  __builtin_memcpy(p, &v, sizeof v);
}

inline F Splat(float x) { return F{} + x; }

inline F Abs(F x) { return reinterpret_cast<F>(reinterpret_cast<I>(x) & 0x7fffffff); }
inline D NegativeAbs(D x) {
  using L = decltype(D{} < D{});
  return reinterpret_cast<D>(reinterpret_cast<L>(x) | static_cast<long long>(0x8000000000000000ull));
}

inline F Select(FMask m, F a, F b) { return m ? a : b; }
inline D Select(DMask m, D a, D b) { return m ? a : b; }

// The two halves of a float vector as doubles, and back.
struct Wide {
  D low;
  D high;
};
inline Wide Widen(F x) { return {Lanes::WidenLow(x), Lanes::WidenHigh(x)}; }
inline F Narrow(Wide x) { return Lanes::Narrow(x.low, x.high); }

// Base current above the stage's threshold, else 0.
inline D DriveCurrent(D envelope, double threshold) {
  return Select(envelope < threshold, D{}, CurrentAbove(envelope, threshold));
}

inline F Blamp(F t) {
  const Wide m = {NegativeAbs(Lanes::WidenLow(t)), NegativeAbs(Lanes::WidenHigh(t))};
  const Wide linear = Widen(0.99986f * Narrow(m));
  return Narrow({BlampPolynomial(m.low, linear.low), BlampPolynomial(m.high, linear.high)});
}

// The band-limited triangle at phase offset 0.5.
inline F Triangle(F phase, F inc, F w) {
  const F q = PhasePlusHalf(phase);
  const F r = PhasePlusOne(q);
  const F absQ = Abs(q);
  const F triangle = 2.0f * absQ - 1.0f;
  const FMask nearLower = w > absQ;
  const FMask nearUpper = w > Abs(r);
  F lower{};
  F upper{};
  // Corrections apply only within a corner width of a corner: rarely.
  if (Lanes::Any(nearLower)) lower = Select(nearLower, Blamp(q / w), F{});
  if (Lanes::Any(nearUpper)) upper = Select(nearUpper, Blamp(r / w), F{});
  return 4.0f * lower * inc + triangle - 4.0f * upper * inc;
}

// The saturation curve's table position for oscillator output o, at
// input o * kShaperDrive * (distort + 1).
inline F ShaperPosition(F o, double distortPlusOne) {
  // o * kShaperDrive * (distort + 1) is exact in double, one product or two.
  const double scale = kShaperDrive * distortPlusOne;
  const Wide ow = Widen(o);
  const Wide v = {Lanes::RoundToFloat(ow.low * scale), Lanes::RoundToFloat(ow.high * scale)};
  return Narrow({(v.low + 9.0) * 1000.0 / 18.0, (v.high + 9.0) * 1000.0 / 18.0});
}

// The saturation curve at table position p, table ends for positions
// outside it (NaN counts as below).
inline F ShaperAt(F p) {
  constexpr int last = kShaperTableLength - 1;
  const FMask below = ~(p > 0.0f);
  const FMask above = ~(p < static_cast<float>(last));
  const F inside = Select(below | above, F{}, p);
  const I index = __builtin_convertvector(inside, I);
  F a;
  F b;
  Lanes::TableNeighbours(kShaperTable, kShaperTableLength, index, a, b);
  const F curve = (b - a) * (inside - __builtin_convertvector(index, F)) + a;
  return Select(below, Splat(kShaperTable[0]), Select(above, Splat(kShaperTable[last]), curve));
}

// The oscillator's frequencies from the pitch envelope.
inline void Frequencies(VoiceStretch& s, const VoiceStageSettings& c, int k) {
  // The gain is a float constant: the double product rounds as the float one.
  const Wide p = Widen(Load<F>(s.pitchLevel + k) * c.pitchGain);
  Store(s.frequency + k, Narrow({PitchFrequencyOf(p.low, c.tuneDepthX2, c.baseFrequency),
                                 PitchFrequencyOf(p.high, c.tuneDepthX2, c.baseFrequency)}));
}

// The oscillator's steps at those frequencies.
inline void OscillatorSteps(VoiceStretch& s, const VoiceStageSettings& c, int k) {
  const Wide f = Widen(Load<F>(s.frequency + k));
  const D stepLow = 2.0 * f.low / c.oscillatorRate;
  const D stepHigh = 2.0 * f.high / c.oscillatorRate;
  const F inc = Narrow({stepLow, stepHigh});
  Store(s.inc + k, inc);
  const FMask normal = Abs(inc) >= kSmallestDoublableStep;
  F width = 2.0f * inc;
  if (Lanes::Any(~normal)) width = Select(normal, width, Narrow({2.0 * stepLow, 2.0 * stepHigh}));
  Store(s.cornerWidth + k, width);
}

// The oscillator over one group; 0 before it starts.
inline void Oscillator(VoiceStretch& s, const VoiceStageSettings& c, int k) {
  F o = Triangle(Load<F>(s.phase + k), Load<F>(s.inc + k), Load<F>(s.cornerWidth + k));
  if (k < c.silentFrames) {
    I frame{};
    for (int j = 0; j < kWidth; ++j) frame[j] = k + j;
    o = Select(frame < c.silentFrames, F{}, o);
  }
  Store(s.oscillator + k, o);
}

// The oscillator's phase over one group, carried on in phase. Inside
// (-1, 1) a step is the plain float sum: a whole group is summed and
// checked at once, and stepped again one by one only where a sum leaves.
inline void PhaseChain(VoiceStretch& s, const VoiceStageSettings& c, int k, float& phase) {
  const int end = k + kWidth < c.frames ? k + kWidth : c.frames;
  if (k >= c.silentFrames && end == k + kWidth) {
    float p = phase;
#pragma GCC unroll 16
    for (int j = k; j < k + kWidth; ++j) {
      p += s.inc[j];
      s.phase[j] = p;
    }
    if (!Lanes::Any(~(Abs(Load<F>(s.phase + k)) < 1.0f))) {
      phase = p;
      return;
    }
  }
  float p = phase;
  for (int j = k > c.silentFrames ? k : c.silentFrames; j < end; ++j) {
    p = PhaseStep(p, s.inc[j]);
    s.phase[j] = p;
  }
  phase = p;
}

// The body and click transistors' base currents.
inline void Currents(VoiceStretch& s, const VoiceStageSettings& c, int k) {
  const D ampLow = Lanes::RoundToFloat(Load<D>(s.ampLevel + k) * c.ampGain);
  const D ampHigh = Lanes::RoundToFloat(Load<D>(s.ampLevel + k + kHalf) * c.ampGain);
  Store(s.ampCurrent + k,
        Narrow({DriveCurrent(ampLow, kBodyDriveThreshold), DriveCurrent(ampHigh, kBodyDriveThreshold)}));

  if (c.clickSilent) return;
  // The click envelope is above its threshold only just after a hit; well
  // below it, rounding to float cannot reach it either.
  const D clickLow = Load<D>(s.clickLevel + k) * c.clickGain;
  const D clickHigh = Load<D>(s.clickLevel + k + kHalf) * c.clickGain;
  F i2{};
  if (Lanes::Any(~(clickLow < kClickDriveSurelyBelow)) || Lanes::Any(~(clickHigh < kClickDriveSurelyBelow))) {
    i2 = Narrow({DriveCurrent(Lanes::RoundToFloat(clickLow), kClickDriveThreshold),
                 DriveCurrent(Lanes::RoundToFloat(clickHigh), kClickDriveThreshold)});
  }
  Store(s.clickCurrent + k, i2);
}

// The oscillator's place on the saturation curve, and the curve there.
inline void ShaperPositions(VoiceStretch& s, const VoiceStageSettings& c, int k) {
  Store(s.shaperPosition + k, ShaperPosition(Load<F>(s.oscillator + k), c.distortPlusOne));
}
inline void Saturation(VoiceStretch& s, int k) { Store(s.saturated + k, ShaperAt(Load<F>(s.shaperPosition + k))); }

// The body stage: the saturated oscillator through the body transistor.
inline void Body(VoiceStretch& s, int k) {
  const Wide scaled = Widen(BodyStageScaled(Load<F>(s.saturated + k), Load<F>(s.ampCurrent + k)));
  Store(s.body + k, Narrow({scaled.low / kBodyStageDivisor, scaled.high / kBodyStageDivisor}));
}

// The click stage and the mix with the body and the tail.
inline F Mix(const VoiceStretch& s, const VoiceStageSettings& c, int k) {
  const Wide body = Widen(Load<F>(s.body + k));
  const D tailLow = Load<D>(s.tail + k);
  const D tailHigh = Load<D>(s.tail + k + kHalf);
  if (c.clickSilent) return Narrow({MixOf(body.low, D{}, tailLow), MixOf(body.high, D{}, tailHigh)});
  const F i2 = Load<F>(s.clickCurrent + k);
  // A current is never -0: without any, its double is 0 too.
  const Wide i2Wide = Lanes::Any(i2 != 0.0f) ? Widen(i2) : Wide{D{}, D{}};
  // Without click current the click stage only gives a signed zero, which
  // shows when everything else is zero too.
  const DMask audibleLow = (i2Wide.low != 0.0) | ((body.low == 0.0) & (tailLow == 0.0));
  const DMask audibleHigh = (i2Wide.high != 0.0) | ((body.high == 0.0) & (tailHigh == 0.0));
  Wide click = {D{}, D{}};
  if (Lanes::Any(audibleLow) || Lanes::Any(audibleHigh)) {
    const Wide sample = Widen(Load<F>(s.click + k));
    const Wide noise = Widen(Load<F>(s.noise + k));
    const F d = Narrow({ClickNoiseDriveOf(sample.low, noise.low, c.attackSquared),
                        ClickNoiseDriveOf(sample.high, noise.high, c.attackSquared)});
    const Wide scaled = Widen(ClickStageScaled(d, i2));
    click.low = Select(audibleLow, Lanes::RoundToFloat(scaled.low / kClickStageDivisor), D{});
    click.high = Select(audibleHigh, Lanes::RoundToFloat(scaled.high / kClickStageDivisor), D{});
  }
  return Narrow({MixOf(body.low, click.low, tailLow), MixOf(body.high, click.high, tailHigh)});
}

// Stage by stage over the stretch, so that each pass's groups are
// independent and overlap in the processor: the shorter a pass's work on
// one group, the more groups the processor has under way at once. Whole
// groups: lanes past the last frame work on earlier values whose results
// are never stored.
void RunStages(VoiceStretch& s, const VoiceStageSettings& c, float& phase, float* out) {
  const int frames = c.frames;
  for (int k = 0; k < frames; k += kWidth) Frequencies(s, c, k);
  for (int k = 0; k < frames; k += kWidth) OscillatorSteps(s, c, k);
  // The phase's chain, a group at a time beside the currents' lanes,
  // which do not wait for it.
  for (int k = 0; k < frames; k += kWidth) {
    PhaseChain(s, c, k, phase);
    Currents(s, c, k);
  }
  for (int k = 0; k < frames; k += kWidth) Oscillator(s, c, k);
  for (int k = 0; k < frames; k += kWidth) ShaperPositions(s, c, k);
  for (int k = 0; k < frames; k += kWidth) Saturation(s, k);
  for (int k = 0; k < frames; k += kWidth) Body(s, k);
  for (int k = 0; k < frames; k += kWidth) {
    const F mix = Mix(s, c, k);
    if (k + kWidth <= frames) {
      Store(out + k, mix);
    } else {
      for (int j = 0; k + j < frames; ++j) out[k + j] = mix[j];
    }
  }
}

// kWidth generators a step apart, each jumping kWidth steps at a time.
void FillNoise(VoiceStretch& s, const NoiseStart& start, int frames) {
  uint32_t multiplier = 1u;
  uint32_t increment = 0u;
  uint32_t state = start.state;
  U states{};
  for (int j = 0; j < kWidth; ++j) {
    increment = increment * kNoiseMultiplier + kNoiseIncrement;
    multiplier *= kNoiseMultiplier;
    state = state * kNoiseMultiplier + kNoiseIncrement;
    states[j] = state;
  }
  const double b = start.highPassB;
  s.noiseProduct[0] = b * start.highPassIn;
  for (int k = 0; k < frames; k += kWidth) {
    Store(s.noiseState + k, states);
    // Unsigned to double is exact; rounding to float then rounds once,
    // as the scalar conversion does.
    const I centredState = reinterpret_cast<I>(states ^ 0x80000000u);
    const F level =
        Narrow({Lanes::IntWidenLow(centredState) + 2147483648.0, Lanes::IntWidenHigh(centredState) + 2147483648.0});
    // Dividing by 2^31 is exact, as is multiplying by 2^-31.
    const F n = level * (1.0f / 2147483648.0f) - 1.0f;
    const F u = NoiseLevelOf(n);
    Store(s.noiseLevel + k, u);
    const Wide uw = Widen(u);
    Store(s.noiseProduct + k + 1, b * uw.low);
    Store(s.noiseProduct + k + 1 + kHalf, b * uw.high);
    states = states * multiplier + increment;
  }
  for (int k = 0; k < frames; k += kHalf)
    Store(s.noiseTerm + k, Load<D>(s.noiseProduct + k + 1) - Load<D>(s.noiseProduct + k));
}

void HalveLanes(const float* in, double* out, int frames) {
  int k = 0;
  for (; k + kWidth <= frames; k += kWidth) {
    const Wide half = Widen(Load<F>(in + k) * 0.5f);
    Store(out + k, half.low);
    Store(out + k + kHalf, half.high);
  }
  for (; k < frames; ++k) out[k] = static_cast<double>(in[k] * 0.5f);
}

}  // namespace

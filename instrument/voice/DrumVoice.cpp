#include "instrument/voice/DrumVoice.h"

#include <cmath>
#include <type_traits>

#if defined(__SSE2__) && !defined(THUDRA_VOICE_SCALAR)
#define THUDRA_VOICE_SSE2 1
#include <emmintrin.h>
#endif

#include "instrument/voice/ShaperCurve.h"
#include "instrument/voice/TransferCurves.h"

namespace {

// Times and time constants are worked out in double and kept at single
// precision, as the circuit values always were.
double SinglePrecision(double x) { return static_cast<double>(static_cast<float>(x)); }

int32_t ModeFlag(double x) { return x >= 1.0 ? 1 : 0; }

uint32_t NextNoiseState(uint32_t state) { return state * 69069u + 1u; }

// Noise from the generator state, 0 to 1.5 before filtering.
float NoiseLevel(uint32_t state)
{
    const float n = static_cast<float>(state) / 2147483648.0f - 1.0f;
    return 0.1f * (7.5f * n + 7.5f);
}

float PitchFrequency(float pitchEnvelope, float tuneDepthX2, float baseFrequency)
{
    return static_cast<float>(pitchEnvelope * 14.0 * tuneDepthX2 + baseFrequency);
}

float ShaperInput(float oscillator, float distort) { return static_cast<float>(oscillator * 4.5 * (distort + 1.0f)); }

// Without click current the click stage gives a signed zero, which can only
// show in the output when everything else is zero too: its work is skipped
// otherwise.
bool ClickStageAudible(float i2, float body, double tail) { return i2 != 0.0f || (body == 0.0f && tail == 0.0); }

float MixOutput(float body, float click, double tail) { return static_cast<float>(0.25f * (body + 0.3 * click) + tail); }

}  // namespace

void NoiseHighPass::SetSampleRate(double rate)
{
    sampleRate = rate;
    const double t = 1.0 / rate;
    const double k = 2.0f * tau;
    b = k / (k + t);
    r = (t - k) / (k + t);
}

void NoiseLowPass::SetSampleRate(double rate)
{
    sampleRate = rate;
    const double t = 1.0 / rate;
    const double k = 2.0f * tau;
    g = t / (k + t);
    r = (t - k) / (k + t);
}

// Attack constants: 18, 22 and 30.8 kOhm on 33 nF; the noise release starts
// as 630 kOhm on 33 nF until the "NoiseDecay" knob replaces it.
DrumVoice::DrumVoice()
    : ampEnv_(0.000594f, 0.0, 0.0, 0.0),
      clickEnv_(0.000726f, 0.002f, 0.02079f, 0.0),
      pitchEnv_(0.0010164f, 0.0023f, 0.0, 14.8f)
{
}

DrumVoice::~DrumVoice() = default;

void DrumVoice::SetSampleRate(double sampleRate)
{
    sampleRate_ = sampleRate;
    ampEnv_.SetSampleRate(sampleRate);
    clickEnv_.SetSampleRate(sampleRate);
    pitchEnv_.SetSampleRate(sampleRate);
    highPass_.SetSampleRate(sampleRate);
    lowPass_.SetSampleRate(sampleRate);
    click_.SetSampleRate(sampleRate);
    osc_.SetSampleRate(sampleRate);
    tailSampleRate_ = sampleRate;
    tailFactor_ = std::exp(-1.0 / (tailSampleRate_ * tailTau_));
    oscStartCount_ = sampleRate_ * 0.002 - 1.0;
}

void DrumVoice::ApplyParam(int index, double x)
{
    switch (index) {
    case 0:
        pitch_ = static_cast<float>(x);
        break;
    case 1: {
        // A 15 V accent swing; the body loses one diode drop.
        accent_ = static_cast<float>(x);
        const float a15 = accent_ * 15.0f;
        ampEnv_.SetGain(a15 - 0.9757);
        clickEnv_.SetGain(a15);
        break;
    }
    case 2:
        // 1 MOhm pot plus 47 kOhm charging 0.33 uF.
        decayX2_ = static_cast<float>(2.0 * x);
        ampEnv_.SetReleaseTau(SinglePrecision((decayX2_ * 0.5 * 1000000 + 47000) * 3.3e-7));
        break;
    case 3:
        // 200 kOhm pot plus 22 kOhm on 0.8 x 0.33 uF.
        tuneDecayX2_ = static_cast<float>(2.0 * x);
        pitchEnv_.SetReleaseTau(SinglePrecision((tuneDecayX2_ * 100000.0 + 22000) * 0.8 * 3.3e-7));
        break;
    case 4:
        attack_ = static_cast<float>(x);
        break;
    case 5:
        holdX2_ = static_cast<float>(2.0 * x);
        ampEnv_.SetHoldTime(SinglePrecision(holdX2_ * 0.1 + 0.005));
        break;
    case 6:
        tuneDepthX2_ = static_cast<float>(2.0 * x);
        break;
    case 7: {
        // Follows the square of the knob; 0.004158 s is 126 kOhm on 33 nF.
        noiseDecay_ = static_cast<float>(x);
        const double nd = noiseDecay_;
        clickEnv_.SetReleaseTau(SinglePrecision(nd * nd * 3.3e-8 * 630000 * 10 + 0.004157999999999999));
        break;
    }
    case 8:
        distort_ = static_cast<float>(x);
        break;
    case 9:
        tuneMode_ = ModeFlag(x);
        break;
    case 10:
        accentMode_ = ModeFlag(x);
        break;
    default:
        break;
    }
}

void DrumVoice::Trigger()
{
    click_.Restart();
    ampEnv_.Restart();
    clickEnv_.Restart();
    pitchEnv_.Restart();
    osc_.Restart();
    tail_ = lastOutput_;

    const float semitones = tuneMode_ != 0 ? static_cast<float>(note_) + pitch_ - 69.0f : pitch_ + 33.0f - 69.0f;
    baseFrequency_ = static_cast<float>(440.0 * std::pow(2.0, semitones / 12.0));

    float a = accent_;
    if (accentMode_ != 0) {
        a = static_cast<float>(midiAccent_);
        accent_ = a;
    }
    const float a15 = a * 15.0f;
    clickEnv_.SetGain(a15);
    ampEnv_.SetGain(SinglePrecision(a15 - 0.9757));
}

float DrumVoice::NextSample()
{
    noiseState_ = NextNoiseState(noiseState_);
    const float h = highPass_.Next(NoiseLevel(noiseState_));
    const float w = lowPass_.Next(h);

    const float c = click_.Next();
    const float i2 = DriveCurrent(clickEnv_.Next(), 1.86);

    const float f = PitchFrequency(pitchEnv_.Next(), tuneDepthX2_, baseFrequency_);

    // Mutes only the first 2 ms after construction: the count is never reset.
    const float o = static_cast<double>(sampleCount_) > oscStartCount_ ? osc_.Next(f, 0.5f) : 0.0f;
    const float m = ShaperCurve(ShaperInput(o, distort_));
    const float i1 = DriveCurrent(ampEnv_.Next(), 0.45);

    tail_ *= tailFactor_;
    ++sampleCount_;

    const float b = BodyStage(m, i1);
    float g = 0.0f;
    if (ClickStageAudible(i2, b, tail_))
        g = ClickStage(ClickNoiseDrive(c, w, attack_), i2);
    const float out = MixOutput(b, g, tail_);
    lastOutput_ = out;
    return out;
}

void DrumVoice::Render(float* out, int32_t frames)
{
    while (frames > 0) {
        const int n = frames < kStretch ? static_cast<int>(frames) : kStretch;
        RenderStretch(out, n);
        out += n;
        frames -= n;
    }
}

#if defined(THUDRA_VOICE_SSE2)
namespace {

// Four floats as two pairs of doubles and back; conversions and packed
// arithmetic give exactly the scalar results.
inline __m128d Low(__m128 x) { return _mm_cvtps_pd(x); }
inline __m128d High(__m128 x) { return _mm_cvtps_pd(_mm_movehl_ps(x, x)); }
inline __m128 Pack(__m128d low, __m128d high) { return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)); }
// Two pairs of double compare masks as four float masks.
inline __m128 PackMask(__m128d low, __m128d high)
{
    return _mm_shuffle_ps(_mm_castpd_ps(low), _mm_castpd_ps(high), _MM_SHUFFLE(2, 0, 2, 0));
}
inline __m128 Select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
inline __m128d Select(__m128d mask, __m128d a, __m128d b)
{
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}
inline bool Any(__m128 mask) { return _mm_movemask_ps(mask) != 0; }

// DriveCurrent for four envelope samples; the divisions are skipped when
// every sample is below the threshold.
inline __m128 DriveCurrent4(__m128 envelope, double threshold)
{
    const __m128d t = _mm_set1_pd(threshold);
    const __m128d lo = Low(envelope);
    const __m128d hi = High(envelope);
    const __m128 below = PackMask(_mm_cmplt_pd(lo, t), _mm_cmplt_pd(hi, t));
    if (_mm_movemask_ps(below) == 0xF)
        return _mm_setzero_ps();
    const __m128d r = _mm_set1_pd(470000.0);
    const __m128 current = Pack(_mm_div_pd(_mm_sub_pd(lo, t), r), _mm_div_pd(_mm_sub_pd(hi, t), r));
    return _mm_andnot_ps(below, current);
}

inline __m128d BlampPoly(__m128d m, __m128d linear)
{
    const __m128d m2 = _mm_mul_pd(m, m);
    const __m128d m3 = _mm_mul_pd(m2, m);
    const __m128d m4 = _mm_mul_pd(m3, m);
    const __m128d m5 = _mm_mul_pd(m4, m);
    const __m128d m6 = _mm_mul_pd(m5, m);
    const __m128d m7 = _mm_mul_pd(m6, m);
    const __m128d m8 = _mm_mul_pd(m7, m);
    __m128d s = _mm_add_pd(_mm_set1_pd(0.20617266197999307), linear);
    s = _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(1.4878300428390503), m2));
    s = _mm_sub_pd(s, _mm_mul_pd(_mm_set1_pd(0.07976666589577992), m3));
    s = _mm_sub_pd(s, _mm_mul_pd(_mm_set1_pd(1.95882248878479), m4));
    s = _mm_sub_pd(s, _mm_mul_pd(_mm_set1_pd(0.6501880168914795), m5));
    s = _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(1.9188049634297688), m6));
    s = _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(1.9291086196899414), m7));
    s = _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(0.5450287461280823), m8));
    return s;
}

// BlampCorrection of four values.
inline __m128 Blamp4(__m128 t)
{
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d mLo = _mm_or_pd(Low(t), sign);
    const __m128d mHi = _mm_or_pd(High(t), sign);
    const __m128 linear = _mm_mul_ps(_mm_set1_ps(0.99986f), Pack(mLo, mHi));
    return Pack(BlampPoly(mLo, Low(linear)), BlampPoly(mHi, High(linear)));
}

// WrapBelowTwo(double(x) + add) for four values.
inline __m128 WrapBelowTwo4(__m128 x, double add)
{
    const __m128d a = _mm_set1_pd(add);
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d two = _mm_set1_pd(2.0);
    const __m128d lo = _mm_add_pd(Low(x), a);
    const __m128d hi = _mm_add_pd(High(x), a);
    return Pack(Select(_mm_cmpge_pd(lo, one), _mm_sub_pd(lo, two), lo),
                Select(_mm_cmpge_pd(hi, one), _mm_sub_pd(hi, two), hi));
}

// TriangleOscillator::Shape with the offset 0.5.
inline __m128 Shape4(__m128 phase, __m128 inc, __m128 w)
{
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 q = WrapBelowTwo4(phase, static_cast<double>(0.5f));
    const __m128 r = WrapBelowTwo4(q, 1.0);
    const __m128 absQ = _mm_and_ps(q, absMask);
    const __m128 triangle = _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(2.0f), absQ), _mm_set1_ps(1.0f));
    const __m128 nearLower = _mm_cmpgt_ps(w, absQ);
    const __m128 nearUpper = _mm_cmpgt_ps(w, _mm_and_ps(r, absMask));
    __m128 lower = _mm_setzero_ps();
    __m128 upper = _mm_setzero_ps();
    // The corrections only apply within a corner width of a corner.
    if (Any(nearLower))
        lower = _mm_and_ps(nearLower, Blamp4(_mm_div_ps(q, w)));
    if (Any(nearUpper))
        upper = _mm_and_ps(nearUpper, Blamp4(_mm_div_ps(r, w)));
    const __m128 four = _mm_set1_ps(4.0f);
    return _mm_sub_ps(_mm_add_ps(_mm_mul_ps(_mm_mul_ps(four, lower), inc), triangle),
                      _mm_mul_ps(_mm_mul_ps(four, upper), inc));
}

// ShaperCurve(ShaperInput(o, distort)) for four oscillator samples;
// distortPlusOne is distort + 1.0f.
inline __m128 Shaper4(__m128 o, __m128d distortPlusOne)
{
    const __m128d k45 = _mm_set1_pd(4.5);
    const __m128 v = Pack(_mm_mul_pd(_mm_mul_pd(Low(o), k45), distortPlusOne),
                          _mm_mul_pd(_mm_mul_pd(High(o), k45), distortPlusOne));
    const __m128d nine = _mm_set1_pd(9.0);
    const __m128d thousand = _mm_set1_pd(1000.0);
    const __m128d eighteen = _mm_set1_pd(18.0);
    const __m128 p = Pack(_mm_div_pd(_mm_mul_pd(_mm_add_pd(Low(v), nine), thousand), eighteen),
                          _mm_div_pd(_mm_mul_pd(_mm_add_pd(High(v), nine), thousand), eighteen));
    constexpr int last = kShaperTableLength - 1;
    // NaN counts as below the table, as in ShaperAt.
    const __m128 below = _mm_cmpngt_ps(p, _mm_setzero_ps());
    const __m128 above = _mm_cmpnlt_ps(p, _mm_set1_ps(static_cast<float>(last)));
    const __m128 inside = _mm_andnot_ps(_mm_or_ps(below, above), p);
    const __m128i i = _mm_cvttps_epi32(inside);
    const int i0 = _mm_cvtsi128_si32(i);
    const int i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(i, 1));
    const int i2 = _mm_cvtsi128_si32(_mm_shuffle_epi32(i, 2));
    const int i3 = _mm_cvtsi128_si32(_mm_shuffle_epi32(i, 3));
    const __m128 a = _mm_setr_ps(kShaperTable[i0], kShaperTable[i1], kShaperTable[i2], kShaperTable[i3]);
    const __m128 b =
        _mm_setr_ps(kShaperTable[i0 + 1], kShaperTable[i1 + 1], kShaperTable[i2 + 1], kShaperTable[i3 + 1]);
    const __m128 curve = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), _mm_sub_ps(inside, _mm_cvtepi32_ps(i))), a);
    return Select(below, _mm_set1_ps(kShaperTable[0]), Select(above, _mm_set1_ps(kShaperTable[last]), curve));
}

// float(double(x) / divisor) for four values; a zero divides to itself, so
// the division is skipped when all four are zero.
inline __m128 DivideUnlessZero(__m128 x, double divisor)
{
    if (!Any(_mm_cmpneq_ps(x, _mm_setzero_ps())))
        return x;
    const __m128d d = _mm_set1_pd(divisor);
    return Pack(_mm_div_pd(Low(x), d), _mm_div_pd(High(x), d));
}

}  // namespace
#endif

void DrumVoice::PrepareNoise(int n)
{
    Scratch& s = scratch_;
    const double b = highPass_.b;
#if defined(THUDRA_VOICE_SSE2)
    // Four generators a step apart, each jumping four steps at a time.
    constexpr uint32_t a1 = 69069u;
    constexpr uint32_t a2 = a1 * a1;
    constexpr uint32_t a4 = a2 * a2;
    constexpr uint32_t c4 = a1 * a2 + a2 + a1 + 1u;
    const uint32_t s1 = NextNoiseState(noiseState_);
    const uint32_t s2 = NextNoiseState(s1);
    const uint32_t s3 = NextNoiseState(s2);
    __m128i state = _mm_setr_epi32(static_cast<int>(s1), static_cast<int>(s2), static_cast<int>(s3),
                                   static_cast<int>(NextNoiseState(s3)));
    const __m128i mul = _mm_set1_epi32(static_cast<int>(a4));
    const __m128i mulOdd = _mm_srli_epi64(mul, 32);
    const __m128i add = _mm_set1_epi32(static_cast<int>(c4));
    const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
    const __m128d half = _mm_set1_pd(2147483648.0);
    const __m128d bb = _mm_set1_pd(b);
    // Lane 1 holds b * in, the term of the step before the first.
    __m128d before = _mm_set1_pd(b * highPass_.in);
    for (int k = 0; k < n; k += 4) {
        _mm_store_si128(reinterpret_cast<__m128i*>(s.noiseStates + k), state);
        // Unsigned to float through an exact double, rounding once as the scalar conversion does.
        const __m128i signedState = _mm_xor_si128(state, flip);
        const __m128 level = Pack(_mm_add_pd(_mm_cvtepi32_pd(signedState), half),
                                  _mm_add_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(signedState, _MM_SHUFFLE(1, 0, 3, 2))), half));
        // NoiseLevel; dividing by 2^31 is exact, as is multiplying by 2^-31.
        const __m128 centred = _mm_sub_ps(_mm_mul_ps(level, _mm_set1_ps(1.0f / 2147483648.0f)), _mm_set1_ps(1.0f));
        const __m128 u = _mm_mul_ps(_mm_set1_ps(0.1f), _mm_add_ps(_mm_mul_ps(_mm_set1_ps(7.5f), centred), _mm_set1_ps(7.5f)));
        _mm_store_ps(s.noiseLevel + k, u);
        const __m128d buLo = _mm_mul_pd(bb, Low(u));
        const __m128d buHi = _mm_mul_pd(bb, High(u));
        _mm_store_pd(s.noiseTerm + k, _mm_sub_pd(buLo, _mm_shuffle_pd(before, buLo, 1)));
        _mm_store_pd(s.noiseTerm + k + 2, _mm_sub_pd(buHi, _mm_shuffle_pd(buLo, buHi, 1)));
        before = buHi;
        const __m128i even = _mm_mul_epu32(state, mul);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(state, 32), mulOdd);
        state = _mm_add_epi32(_mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                                 _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0))),
                              add);
    }
#else
    uint32_t state = noiseState_;
    double before = b * highPass_.in;
    for (int k = 0; k < n; ++k) {
        state = NextNoiseState(state);
        s.noiseStates[k] = state;
        const float u = NoiseLevel(state);
        s.noiseLevel[k] = u;
        const double bu = b * u;
        s.noiseTerm[k] = bu - before;
        before = bu;
    }
#endif
    noiseState_ = s.noiseStates[n - 1];
    highPass_.in = s.noiseLevel[n - 1];
}

void DrumVoice::RenderStretch(float* out, int n)
{
    Scratch& s = scratch_;

    // The oscillator starts at the first sample past its start count and
    // stays on from there, as the count only grows.
    int live = 0;
    while (live < n && !(static_cast<double>(sampleCount_ + live) > oscStartCount_))
        ++live;

    // The noise and the high-pass input terms b * u - b * in do not depend
    // on the filters' outputs: worked out ahead of the recurrences.
    PrepareNoise(n);

    const RcEnvelope::StepPlan ampPlan = ampEnv_.PlanStretch(n);
    const RcEnvelope::StepPlan clickPlan = clickEnv_.PlanStretch(n);
    const RcEnvelope::StepPlan pitchPlan = pitchEnv_.PlanStretch(n);

    // The recurrences, in one loop on local copies so that their dependency
    // chains overlap. The stretch is split where an envelope's coefficients
    // change or the oscillator starts, so each piece runs on constants.
    {
        const double hpR = highPass_.r;
        const double lpG = lowPass_.g;
        const double lpR = lowPass_.r;
        float hpOut = highPass_.out;
        float lpOut = lowPass_.out;
        // g * in of the low-pass is the g * h of the step before: worked out once.
        double lpGIn = lpG * lowPass_.in;
#if defined(THUDRA_VOICE_SSE2)
        __m128d levels = _mm_setr_pd(ampEnv_.Level(), clickEnv_.Level());
#else
        double ampLevel = ampEnv_.Level();
        double clickLevel = clickEnv_.Level();
#endif
        double pitchLevel = pitchEnv_.Level();
        const double pitchGain = pitchEnv_.Gain();
        // The oscillator's phase, frequency and unrounded step 2f / rate.
        float phase = osc_.Phase();
        float frequency = osc_.Frequency();
        const double oscRate = osc_.SampleRate();
        double step = osc_.UnroundedStep();
        double tail = tail_;
        const double tailFactor = tailFactor_;
        const float tuneDepthX2 = tuneDepthX2_;
        const float baseFrequency = baseFrequency_;

        const auto piece = [&](auto oscillating, int begin, int end, double ampTerm, double ampFactor,
                               double clickTerm, double clickFactor, double pitchTerm,
                               double pitchFactor) __attribute__((always_inline)) {
#if defined(THUDRA_VOICE_SSE2)
            const __m128d terms = _mm_setr_pd(ampTerm, clickTerm);
            const __m128d factors = _mm_setr_pd(ampFactor, clickFactor);
#endif
            for (int k = begin; k < end; ++k) {
                hpOut = static_cast<float>(s.noiseTerm[k] - hpR * hpOut);
                const double gh = lpG * hpOut;
                lpOut = static_cast<float>(gh + lpGIn - lpR * lpOut);
                lpGIn = gh;
                s.noise[k] = lpOut;
#if defined(THUDRA_VOICE_SSE2)
                // The amp and click envelopes side by side: StepLevel on both at once.
                levels = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_add_pd(terms, _mm_mul_pd(factors, levels))));
                _mm_store_pd(s.levels + 2 * k, levels);
#else
                ampLevel = RcEnvelope::StepLevel(ampTerm, ampFactor, ampLevel);
                s.levels[2 * k] = ampLevel;
                clickLevel = RcEnvelope::StepLevel(clickTerm, clickFactor, clickLevel);
                s.levels[2 * k + 1] = clickLevel;
#endif
                pitchLevel = RcEnvelope::StepLevel(pitchTerm, pitchFactor, pitchLevel);
                if constexpr (decltype(oscillating)::value) {
                    const float pitchOut = static_cast<float>(pitchLevel * pitchGain);
                    const float f = PitchFrequency(pitchOut, tuneDepthX2, baseFrequency);
                    // Advance keeps the step while the frequency repeats; working it out
                    // anew gives the same bits (a frequency is never -0) and spares the
                    // mispredictions while a sweep settles.
                    frequency = f;
                    step = 2.0 * static_cast<double>(f) / oscRate;
                    const float inc = static_cast<float>(step);
                    const double y = phase + static_cast<double>(inc);
                    const float wrapped = y >= -1.0 && y < 1.0 ? static_cast<float>(y) : TriangleOscillator::WrapPhase(y);
                    phase = wrapped;
                    s.phase[k] = wrapped;
                    s.step[k] = step;
                }
                tail *= tailFactor;
                s.tail[k] = tail;
            }
        };

        int k = 0;
        while (k < n) {
            int end = ampPlan.NextChange(k, n);
            const int clickEnd = clickPlan.NextChange(k, n);
            const int pitchEnd = pitchPlan.NextChange(k, n);
            end = clickEnd < end ? clickEnd : end;
            end = pitchEnd < end ? pitchEnd : end;
            if (k < live && live < end)
                end = live;
            if (k >= live)
                piece(std::true_type{}, k, end, ampPlan.Term(k), ampPlan.Factor(k), clickPlan.Term(k),
                      clickPlan.Factor(k), pitchPlan.Term(k), pitchPlan.Factor(k));
            else
                piece(std::false_type{}, k, end, ampPlan.Term(k), ampPlan.Factor(k), clickPlan.Term(k),
                      clickPlan.Factor(k), pitchPlan.Term(k), pitchPlan.Factor(k));
            k = end;
        }

        highPass_.out = hpOut;
        lowPass_.in = hpOut;
        lowPass_.out = lpOut;
#if defined(THUDRA_VOICE_SSE2)
        ampEnv_.FinishSteps(n, _mm_cvtsd_f64(levels));
        clickEnv_.FinishSteps(n, _mm_cvtsd_f64(_mm_unpackhi_pd(levels, levels)));
#else
        ampEnv_.FinishSteps(n, ampLevel);
        clickEnv_.FinishSteps(n, clickLevel);
#endif
        pitchEnv_.FinishSteps(n, pitchLevel);
        if (live < n)
            osc_.Resume(phase, frequency, step);
        tail_ = tail;
    }

    if (click_.Finished()) {
        for (int k = 0; k < n; ++k)
            s.click[k] = 0.0f;
    } else {
        for (int k = 0; k < n; ++k)
            s.click[k] = click_.Next();
    }

    const float attack = attack_;
#if defined(THUDRA_VOICE_SSE2)
    // Whole groups of four: the scratch past n holds earlier (finite or
    // not) values, whose results are never used.
    const int n4 = (n + 3) & ~3;
    {
        const __m128d ampGain = _mm_set1_pd(ampEnv_.Gain());
        const __m128d clickGain = _mm_set1_pd(clickEnv_.Gain());
        for (int k = 0; k < n4; k += 4) {
            const __m128d l0 = _mm_load_pd(s.levels + 2 * k);
            const __m128d l1 = _mm_load_pd(s.levels + 2 * k + 2);
            const __m128d l2 = _mm_load_pd(s.levels + 2 * k + 4);
            const __m128d l3 = _mm_load_pd(s.levels + 2 * k + 6);
            const __m128 amp = Pack(_mm_mul_pd(_mm_unpacklo_pd(l0, l1), ampGain),
                                    _mm_mul_pd(_mm_unpacklo_pd(l2, l3), ampGain));
            _mm_store_ps(s.ampCurrent + k, DriveCurrent4(amp, 0.45));
            const __m128 click = Pack(_mm_mul_pd(_mm_unpackhi_pd(l0, l1), clickGain),
                                      _mm_mul_pd(_mm_unpackhi_pd(l2, l3), clickGain));
            _mm_store_ps(s.clickCurrent + k, DriveCurrent4(click, 1.86));
        }
    }
    for (int k = 0; k < n4; k += 4) {
        const __m128d stepLo = _mm_load_pd(s.step + k);
        const __m128d stepHi = _mm_load_pd(s.step + k + 2);
        const __m128d two = _mm_set1_pd(2.0);
        const __m128 o = Shape4(_mm_load_ps(s.phase + k), Pack(stepLo, stepHi),
                                Pack(_mm_mul_pd(two, stepLo), _mm_mul_pd(two, stepHi)));
        _mm_store_ps(s.oscillator + k, o);
    }
    for (int k = 0; k < live; ++k)
        s.oscillator[k] = 0.0f;
    {
        const __m128d distortD = _mm_set1_pd(static_cast<double>(distort_ + 1.0f));
        for (int k = 0; k < n4; k += 4) {
            const __m128 m = Shaper4(_mm_load_ps(s.oscillator + k), distortD);
            const __m128 i1 = _mm_load_ps(s.ampCurrent + k);
            const __m128 scaled = _mm_mul_ps(
                _mm_sub_ps(_mm_set1_ps(0.4633f),
                           _mm_add_ps(_mm_mul_ps(_mm_set1_ps(2.251f), _mm_mul_ps(m, m)), _mm_mul_ps(_mm_set1_ps(9.76f), m))),
                i1);
            _mm_store_ps(s.body + k, DivideUnlessZero(scaled, 2.7e-5));
        }
    }
    {
        const double attackSquared = static_cast<double>(attack) * attack;
        const __m128d quarter = _mm_set1_pd(static_cast<double>(0.25f));
        const __m128d clickShare = _mm_set1_pd(0.3);
        for (int k = 0; k < n4; k += 4) {
            const __m128 b = _mm_load_ps(s.body + k);
            const __m128 i2 = _mm_load_ps(s.clickCurrent + k);
            const __m128d tailLo = _mm_load_pd(s.tail + k);
            const __m128d tailHi = _mm_load_pd(s.tail + k + 2);
            const __m128 silent =
                _mm_and_ps(_mm_cmpeq_ps(b, _mm_setzero_ps()),
                           PackMask(_mm_cmpeq_pd(tailLo, _mm_setzero_pd()), _mm_cmpeq_pd(tailHi, _mm_setzero_pd())));
            const __m128 audible = _mm_or_ps(_mm_cmpneq_ps(i2, _mm_setzero_ps()), silent);
            __m128 g = _mm_setzero_ps();
            if (Any(audible)) {
                const __m128 c = _mm_load_ps(s.click + k);
                const __m128 w = _mm_load_ps(s.noise + k);
                const __m128d k75 = _mm_set1_pd(7.5);
                const __m128d k15 = _mm_set1_pd(1.5);
                const __m128d kc = _mm_set1_pd(0.6496);
                const __m128d kn = _mm_set1_pd(3.0409);
                const __m128d as = _mm_set1_pd(attackSquared);
                const __m128d hundred = _mm_set1_pd(100.0);
                const auto drive = [&](__m128d cd, __m128d wd) {
                    const __m128d sum = _mm_add_pd(_mm_mul_pd(kc, _mm_mul_pd(_mm_mul_pd(cd, k75), k15)), _mm_mul_pd(kn, wd));
                    return _mm_div_pd(_mm_mul_pd(sum, as), hundred);
                };
                const __m128 d = Pack(drive(Low(c), Low(w)), drive(High(c), High(w)));
                const __m128 scaled = _mm_mul_ps(
                    _mm_sub_ps(_mm_set1_ps(1.161f), _mm_add_ps(_mm_mul_ps(_mm_set1_ps(9275.0f), _mm_mul_ps(d, d)),
                                                               _mm_mul_ps(_mm_set1_ps(523.7f), d))),
                    i2);
                g = _mm_and_ps(audible, DivideUnlessZero(scaled, 2.4e-5));
            }
            const __m128d mixLo = _mm_add_pd(
                _mm_mul_pd(quarter, _mm_add_pd(Low(b), _mm_mul_pd(clickShare, Low(g)))), tailLo);
            const __m128d mixHi = _mm_add_pd(
                _mm_mul_pd(quarter, _mm_add_pd(High(b), _mm_mul_pd(clickShare, High(g)))), tailHi);
            const __m128 mix = Pack(mixLo, mixHi);
            if (k + 4 <= n) {
                _mm_storeu_ps(out + k, mix);
            } else {
                alignas(16) float rest[4];
                _mm_store_ps(rest, mix);
                for (int j = 0; k + j < n; ++j)
                    out[k + j] = rest[j];
            }
        }
    }
#else
    for (int k = 0; k < n; ++k) {
        s.ampCurrent[k] = DriveCurrent(ampEnv_.Output(s.levels[2 * k]), 0.45);
        s.clickCurrent[k] = DriveCurrent(clickEnv_.Output(s.levels[2 * k + 1]), 1.86);
    }
    for (int k = 0; k < live; ++k)
        s.oscillator[k] = 0.0f;
    for (int k = live; k < n; ++k)
        s.oscillator[k] = TriangleOscillator::Shape(
            s.phase[k], {static_cast<float>(s.step[k]), static_cast<float>(2.0 * s.step[k])}, 0.5f);
    for (int k = 0; k < n; ++k) {
        const float m = ShaperCurve(ShaperInput(s.oscillator[k], distort_));
        s.body[k] = BodyStage(m, s.ampCurrent[k]);
    }
    for (int k = 0; k < n; ++k) {
        const float b = s.body[k];
        const float i2 = s.clickCurrent[k];
        float g = 0.0f;
        if (ClickStageAudible(i2, b, s.tail[k]))
            g = ClickStage(ClickNoiseDrive(s.click[k], s.noise[k], attack), i2);
        out[k] = MixOutput(b, g, s.tail[k]);
    }
#endif
    sampleCount_ += n;
    lastOutput_ = out[n - 1];
}

#include "instrument/voice/DrumVoice.h"

#include <cmath>

#include <emmintrin.h>

#include "instrument/ThudrixParams.h"
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
      pitchEnv_(0.0010164f, 0.0023f, 0.0, kPitchGain)
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
    case kParamPitch:
        pitch_ = static_cast<float>(x);
        break;
    case kParamAccent: {
        // A 15 V accent swing; the body loses one diode drop.
        accent_ = static_cast<float>(x);
        const float a15 = accent_ * 15.0f;
        ampEnv_.SetGain(a15 - 0.9757);
        clickEnv_.SetGain(a15);
        break;
    }
    case kParamDecay:
        // 1 MOhm pot plus 47 kOhm charging 0.33 uF.
        decayX2_ = static_cast<float>(2.0 * x);
        ampEnv_.SetReleaseTau(SinglePrecision((decayX2_ * 0.5 * 1000000 + 47000) * 3.3e-7));
        break;
    case kParamTuneDecay:
        // 200 kOhm pot plus 22 kOhm on 0.8 x 0.33 uF.
        tuneDecayX2_ = static_cast<float>(2.0 * x);
        pitchEnv_.SetReleaseTau(SinglePrecision((tuneDecayX2_ * 100000.0 + 22000) * 0.8 * 3.3e-7));
        break;
    case kParamAttack:
        attack_ = static_cast<float>(x);
        break;
    case kParamHold:
        holdX2_ = static_cast<float>(2.0 * x);
        ampEnv_.SetHoldTime(SinglePrecision(holdX2_ * 0.1 + 0.005));
        break;
    case kParamTuneDepth:
        tuneDepthX2_ = static_cast<float>(2.0 * x);
        break;
    case kParamNoiseDecay: {
        // Follows the square of the knob; 0.004158 s is 126 kOhm on 33 nF.
        noiseDecay_ = static_cast<float>(x);
        const double nd = noiseDecay_;
        clickEnv_.SetReleaseTau(SinglePrecision(nd * nd * 3.3e-8 * 630000 * 10 + 0.004157999999999999));
        break;
    }
    case kParamDistort:
        distort_ = static_cast<float>(x);
        break;
    case kParamMidiTuneFlag:
        tuneMode_ = ModeFlag(x);
        break;
    case kParamMidiAccentFlag:
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
        const int n = frames < kVoiceStretch ? static_cast<int>(frames) : kVoiceStretch;
        RenderStretch(out, n);
        out += n;
        frames -= n;
    }
}

void DrumVoice::RenderStretch(float* out, int n)
{
    VoiceStretch& s = stretch_;

    // The oscillator starts at the first sample past its start count and
    // stays on from there, as the count only grows.
    int live = 0;
    while (live < n && !(static_cast<double>(sampleCount_ + live) > oscStartCount_))
        ++live;

    // The noise and the high-pass input terms b * u - b * in do not depend
    // on the filters' outputs: worked out ahead of the recurrences.
    FillVoiceNoise(s, {noiseState_, highPass_.in, highPass_.b}, n);
    noiseState_ = s.noiseState[n - 1];
    highPass_.in = s.noiseLevel[n - 1];

    const RcEnvelope::StepPlan ampPlan = ampEnv_.PlanStretch(n);
    const RcEnvelope::StepPlan clickPlan = clickEnv_.PlanStretch(n);
    const RcEnvelope::StepPlan pitchPlan = pitchEnv_.PlanStretch(n);

    // The recurrences, in one loop on local copies so that their dependency
    // chains overlap. The stretch is split where an envelope's coefficients
    // change, so each piece runs on constants.
    const double hpR = highPass_.r;
    const double lpG = lowPass_.g;
    const double lpR = lowPass_.r;
    float hpOut = highPass_.out;
    float lpOut = lowPass_.out;
    // g * in of the low-pass is the g * h of the step before: worked out once.
    double lpGIn = lpG * lowPass_.in;
    __m128d levels = _mm_setr_pd(ampEnv_.Level(), clickEnv_.Level());
    double pitchLevel = pitchEnv_.Level();
    double tail = tail_;
    const double tailFactor = tailFactor_;
    const auto piece = [&](int begin, int end, double ampTerm, double ampFactor, double clickTerm, double clickFactor,
                           double pitchTerm, double pitchFactor) __attribute__((always_inline)) {
        const __m128d terms = _mm_setr_pd(ampTerm, clickTerm);
        const __m128d factors = _mm_setr_pd(ampFactor, clickFactor);
        for (int k = begin; k < end; ++k) {
            hpOut = static_cast<float>(s.noiseTerm[k] - hpR * hpOut);
            const double gh = lpG * hpOut;
            lpOut = static_cast<float>(gh + lpGIn - lpR * lpOut);
            lpGIn = gh;
            s.noise[k] = lpOut;
            // The amp and click envelopes side by side: StepLevel on both at once.
            levels = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_add_pd(terms, _mm_mul_pd(factors, levels))));
            _mm_storel_pd(s.ampLevel + k, levels);
            _mm_storeh_pd(s.clickLevel + k, levels);
            const float pitchLevelF = static_cast<float>(pitchTerm + pitchFactor * pitchLevel);
            pitchLevel = pitchLevelF;
            s.pitchLevel[k] = pitchLevelF;
            tail *= tailFactor;
            s.tail[k] = tail;
        }
    };

    for (int k = 0; k < n;) {
        int end = ampPlan.NextChange(k, n);
        const int clickEnd = clickPlan.NextChange(k, n);
        const int pitchEnd = pitchPlan.NextChange(k, n);
        end = clickEnd < end ? clickEnd : end;
        end = pitchEnd < end ? pitchEnd : end;
        piece(k, end, ampPlan.Term(k), ampPlan.Factor(k), clickPlan.Term(k), clickPlan.Factor(k), pitchPlan.Term(k),
              pitchPlan.Factor(k));
        k = end;
    }

    highPass_.out = hpOut;
    lowPass_.in = hpOut;
    lowPass_.out = lpOut;
    ampEnv_.FinishSteps(n, _mm_cvtsd_f64(levels));
    clickEnv_.FinishSteps(n, _mm_cvtsd_f64(_mm_unpackhi_pd(levels, levels)));
    pitchEnv_.FinishSteps(n, pitchLevel);
    tail_ = tail;

    if (click_.Finished()) {
        for (int k = 0; k < n; ++k)
            s.click[k] = 0.0f;
    } else {
        for (int k = 0; k < n; ++k)
            s.click[k] = click_.Next();
    }

    const double attack = attack_;
    const VoiceStageSettings settings = {n,
                                         live,
                                         ampEnv_.Gain(),
                                         clickEnv_.Gain(),
                                         kPitchGain,
                                         tuneDepthX2_,
                                         baseFrequency_,
                                         osc_.SampleRate(),
                                         static_cast<double>(distort_ + 1.0f),
                                         attack * attack};
    float phase = osc_.Phase();
    RunVoiceStages(s, settings, phase, out);
    if (live < n) {
        // The oscillator as the last sample's Advance leaves it (the float
        // product with the float gain is the envelope's rounded output).
        const float f = PitchFrequency(s.pitchLevel[n - 1] * kPitchGain, tuneDepthX2_, baseFrequency_);
        osc_.Resume(phase, f, 2.0 * static_cast<double>(f) / osc_.SampleRate());
    }
    sampleCount_ += n;
    lastOutput_ = out[n - 1];
}

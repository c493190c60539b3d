#include "instrument/voice/DrumVoice.h"

#include <cmath>

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

void DrumVoice::RenderStretch(float* out, int n)
{
    Scratch& s = scratch_;
    // The vectorisable stages run over whole groups of four; the scratch
    // past n holds earlier values, which are never used.
    const int n4 = (n + 3) & ~3;

    // The oscillator starts at the first sample past its start count and
    // stays on from there, as the count only grows.
    int live = 0;
    while (live < n && !(static_cast<double>(sampleCount_ + live) > oscStartCount_))
        ++live;

    ampEnv_.PlanSteps(n, s.ampTerms, s.ampFactors);
    clickEnv_.PlanSteps(n, s.clickTerms, s.clickFactors);
    pitchEnv_.PlanSteps(n, s.pitchTerms, s.pitchFactors);

    // The recurrences, in one loop on local copies so that their dependency
    // chains overlap.
    {
        uint32_t noiseState = noiseState_;
        NoiseHighPass highPass = highPass_;
        NoiseLowPass lowPass = lowPass_;
        double ampLevel = ampEnv_.Level();
        double clickLevel = clickEnv_.Level();
        double pitchLevel = pitchEnv_.Level();
        TriangleOscillator osc = osc_;
        double tail = tail_;
        const double tailFactor = tailFactor_;
        const float tuneDepthX2 = tuneDepthX2_;
        const float baseFrequency = baseFrequency_;
        for (int k = 0; k < n; ++k) {
            noiseState = NextNoiseState(noiseState);
            s.noise[k] = lowPass.Next(highPass.Next(NoiseLevel(noiseState)));
            ampLevel = RcEnvelope::StepLevel(s.ampTerms[k], s.ampFactors[k], ampLevel);
            s.ampLevel[k] = ampLevel;
            clickLevel = RcEnvelope::StepLevel(s.clickTerms[k], s.clickFactors[k], clickLevel);
            s.clickLevel[k] = clickLevel;
            pitchLevel = RcEnvelope::StepLevel(s.pitchTerms[k], s.pitchFactors[k], pitchLevel);
            const float f = PitchFrequency(pitchEnv_.Output(pitchLevel), tuneDepthX2, baseFrequency);
            if (k >= live) {
                const TriangleOscillator::Step step = osc.Advance(f);
                s.phase[k] = osc.Phase();
                s.inc[k] = step.inc;
                s.width[k] = step.w;
            }
            tail *= tailFactor;
            s.tail[k] = tail;
        }
        noiseState_ = noiseState;
        highPass_ = highPass;
        lowPass_ = lowPass;
        ampEnv_.FinishSteps(n, ampLevel);
        clickEnv_.FinishSteps(n, clickLevel);
        pitchEnv_.FinishSteps(n, pitchLevel);
        osc_ = osc;
        tail_ = tail;
    }

    for (int k = 0; k < n4; ++k) {
        s.ampEnv[k] = ampEnv_.Output(s.ampLevel[k]);
        s.clickEnv[k] = clickEnv_.Output(s.clickLevel[k]);
        s.ampCurrent[k] = DriveCurrentAbove(s.ampEnv[k], 0.45);
    }

    if (click_.Finished()) {
        for (int k = 0; k < n; ++k)
            s.click[k] = 0.0f;
    } else {
        for (int k = 0; k < n; ++k)
            s.click[k] = click_.Next();
    }

    float* const oscillator = s.body;  // free until the body stage
    for (int k = 0; k < live; ++k)
        oscillator[k] = 0.0f;
    for (int k = live; k < n; ++k)
        oscillator[k] = TriangleOscillator::Shape(s.phase[k], {s.inc[k], s.width[k]}, 0.5f);
    const float distort = distort_;
    for (int k = 0; k < n4; ++k)
        s.position[k] = ShaperPosition(ShaperInput(oscillator[k], distort));

    for (int k = 0; k < n; ++k) {
        const float i1 = s.ampEnv[k] < 0.45 ? 0.0f : s.ampCurrent[k];
        s.body[k] = BodyStageScaled(ShaperAt(s.position[k]), i1);
    }
    for (int k = 0; k < n4; ++k)
        s.bodyDivided[k] = BodyStageDivided(s.body[k]);

    const float attack = attack_;
    for (int k = 0; k < n; ++k) {
        const float scaled = s.body[k];
        const float b = scaled == 0.0f ? scaled : s.bodyDivided[k];
        s.body[k] = b;
        const float i2 = DriveCurrent(s.clickEnv[k], 1.86);
        float g = 0.0f;
        if (ClickStageAudible(i2, b, s.tail[k]))
            g = ClickStage(ClickNoiseDrive(s.click[k], s.noise[k], attack), i2);
        s.clickStage[k] = g;
    }
    for (int k = 0; k < n4; ++k)
        s.clickStage[k] = MixOutput(s.body[k], s.clickStage[k], s.tail[k]);
    for (int k = 0; k < n; ++k)
        out[k] = s.clickStage[k];
    sampleCount_ += n;
    lastOutput_ = out[n - 1];
}

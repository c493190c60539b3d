#include "instrument/voice/DrumVoice.h"

#include <cmath>

#include "instrument/voice/ShaperCurve.h"
#include "instrument/voice/TransferCurves.h"

namespace {

// Times and time constants are worked out in double and kept at single
// precision, as the circuit values always were.
double SinglePrecision(double x) { return static_cast<double>(static_cast<float>(x)); }

int32_t ModeFlag(double x) { return x >= 1.0 ? 1 : 0; }

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
    noiseState_ = noiseState_ * 69069u + 1u;
    const float n = static_cast<float>(noiseState_) / 2147483648.0f - 1.0f;
    const float u = 0.1f * (7.5f * n + 7.5f);
    const float h = highPass_.Next(u);
    const float w = lowPass_.Next(h);

    const float c = click_.Next();
    const float i2 = DriveCurrent(clickEnv_.Next(), 1.86);

    const float e3 = pitchEnv_.Next();
    const float f = static_cast<float>(e3 * 14.0 * tuneDepthX2_ + baseFrequency_);

    // Mutes only the first 2 ms after construction: the count is never reset.
    const float o = static_cast<double>(sampleCount_) > oscStartCount_ ? osc_.Next(f, 0.5f) : 0.0f;
    const float v = static_cast<float>(o * 4.5 * (distort_ + 1.0f));
    const float m = ShaperCurve(v);
    const float i1 = DriveCurrent(ampEnv_.Next(), 0.45);

    tail_ *= tailFactor_;
    ++sampleCount_;

    const float b = BodyStage(m, i1);
    // Without click current the click stage gives a signed zero, which can
    // only show in the output when everything else is zero too: skip its
    // work otherwise.
    float g = 0.0f;
    if (i2 != 0.0f || (b == 0.0f && tail_ == 0.0))
        g = ClickStage(ClickNoiseDrive(c, w, attack_), i2);
    const float out = static_cast<float>(0.25f * (b + 0.3 * g) + tail_);
    lastOutput_ = out;
    return out;
}

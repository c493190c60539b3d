#include "instrument/voice/RcEnvelope.h"

#include <cmath>

RcEnvelope::RcEnvelope(float attackTau, double holdTime, double releaseTau, double gain)
    : attackTau_(attackTau), holdTime_(holdTime), releaseTau_(releaseTau), gain_(gain)
{
    UpdateCoefficients();
}

void RcEnvelope::SetSampleRate(double sampleRate)
{
    sampleRate_ = sampleRate;
    UpdateCoefficients();
}

void RcEnvelope::SetHoldTime(double holdTime)
{
    holdTime_ = holdTime;
    UpdateCoefficients();
}

void RcEnvelope::SetReleaseTau(double releaseTau)
{
    releaseTau_ = releaseTau;
    UpdateCoefficients();
}

// A time constant of 0 gives c = exp(-inf) = 0: the step jumps to its target.
RcEnvelope::Coefficients RcEnvelope::CoefficientsFor(double samplesPerTau)
{
    const double c = std::exp(-1.0 / samplesPerTau);
    return {static_cast<float>(1.0 - c), static_cast<float>(c)};
}

void RcEnvelope::UpdateCoefficients()
{
    holdSamples_ = sampleRate_ * holdTime_;
    attack_ = CoefficientsFor(static_cast<double>(attackTau_) * sampleRate_);
    release_ = CoefficientsFor(sampleRate_ * releaseTau_);
}

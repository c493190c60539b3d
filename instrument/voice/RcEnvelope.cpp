#include "instrument/voice/RcEnvelope.h"

#include <bit>
#include <cmath>

RcEnvelope::RcEnvelope(float attackTau, double holdTime, double releaseTau, double gain)
    : attackTau_(attackTau), holdTime_(holdTime), releaseTau_(releaseTau), gain_(gain) {
  UpdateCoefficients();
}

void RcEnvelope::SetSampleRate(double sampleRate) {
  sampleRate_ = sampleRate;
  UpdateCoefficients();
}

void RcEnvelope::SetHoldTime(double holdTime) {
  holdTime_ = holdTime;
  UpdateCoefficients();
}

void RcEnvelope::SetReleaseTau(double releaseTau) {
  releaseTau_ = releaseTau;
  UpdateCoefficients();
}

// A time constant of 0 gives c = exp(-inf) = 0: the step jumps to its target.
RcEnvelope::Coefficients RcEnvelope::CoefficientsFor(double samplesPerTau) {
  const double c = std::exp(-1.0 / samplesPerTau);
  return {static_cast<float>(1.0 - c), static_cast<float>(c)};
}

void RcEnvelope::UpdateCoefficients() {
  holdSamples_ = sampleRate_ * holdTime_;
  attack_ = CoefficientsFor(static_cast<double>(attackTau_) * sampleRate_);
  release_ = CoefficientsFor(sampleRate_ * releaseTau_);
}

int RcEnvelope::HeldSteps(int n) const {
  // Steps 1..held still hold; the count only grows, so the rest release.
  int held = 0;
  if (n > 0 && !(static_cast<double>(count_ + 1) > holdSamples_)) {
    if (!(static_cast<double>(count_ + n) > holdSamples_))
      held = n;
    else
      while (!(static_cast<double>(count_ + held + 1) > holdSamples_)) ++held;
  }
  return held;
}

RcEnvelope::StepPlan RcEnvelope::PlanStretch(int n) const {
  StepPlan plan;
  plan.held = HeldSteps(n);
  plan.attackTerm = static_cast<double>(attack_.oneMinusC) * 1.0;
  plan.attackFactor = static_cast<double>(attack_.c);
  plan.releaseFirstTerm = static_cast<double>(release_.oneMinusC) * 1.0;
  plan.releaseTerm = static_cast<double>(release_.oneMinusC) * 0.0;
  plan.releaseFactor = static_cast<double>(release_.c);
  plan.first = static_cast<double>(plan.held > 0 ? attack_.oneMinusC : release_.oneMinusC) * input_;
  return plan;
}

namespace {
bool SameBits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }
}  // namespace

int RcEnvelope::StepPlan::NextChange(int k, int n) const {
  // Step 0 usually matches step 1 (the input is the last target): no split then.
  if (k == 0 && n > 1 && !(SameBits(first, Term(1)) && SameBits(Factor(0), Factor(1)))) return 1;
  if (k < held) return held < n ? held : n;
  if (k == held && held > 0) return held + 1 < n ? held + 1 : n;
  return n;
}

bool RcEnvelope::AtRest() const {
  if (!(static_cast<double>(count_ + 1) > holdSamples_) || !SameBits(input_, 0.0)) return false;
  return StepKeeps(static_cast<double>(release_.oneMinusC) * input_, static_cast<double>(release_.c), level_);
}

bool RcEnvelope::StepKeeps(double inputTerm, double factor, double level) {
  return SameBits(StepLevel(inputTerm, factor, level), level);
}

void RcEnvelope::FinishSteps(int n, double level) {
  if (n <= 0) return;
  count_ += n;
  const bool releasing = static_cast<double>(count_) > holdSamples_;
  const Coefficients& step = releasing ? release_ : attack_;
  target_ = releasing ? 0.0f : 1.0f;
  oneMinusC_ = step.oneMinusC;
  c_ = step.c;
  level_ = level;
  input_ = target_;
}

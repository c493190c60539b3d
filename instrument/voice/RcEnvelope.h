#pragma once

#include <cstdint>

// Attack/hold/release envelope made of one-pole steps, modelled on a
// capacitor charged through a resistor while the hold lasts and discharged
// after it. A hit does not reset the level, so retriggers stay continuous.
class RcEnvelope {
public:
  RcEnvelope(float attackTau, double holdTime, double releaseTau, double gain);

  void SetSampleRate(double sampleRate);
  void SetHoldTime(double holdTime);
  void SetReleaseTau(double releaseTau);
  void SetGain(double gain) { gain_ = gain; }
  void Restart() {
    count_ = 0;
    target_ = 1.0f;
  }

  float Next() {
    ++count_;
    // The coefficients depend only on the rate and the time constants, so
    // they are worked out when those change rather than on every step.
    const bool releasing = static_cast<double>(count_) > holdSamples_;
    const Coefficients& step = releasing ? release_ : attack_;
    target_ = releasing ? 0.0f : 1.0f;
    oneMinusC_ = step.oneMinusC;
    c_ = step.c;
    level_ = StepLevel(static_cast<double>(oneMinusC_) * input_, static_cast<double>(c_), level_);
    input_ = target_;
    return Output(level_);
  }

  // One step of the level from the input term (1 - c) * input and the factor c.
  static double StepLevel(double inputTerm, double factor, double level) {
    return static_cast<float>(inputTerm + factor * level);
  }
  // Whether that step leaves the level as it is, and so would every later one.
  static bool StepKeeps(double inputTerm, double factor, double level);
  float Output(double level) const { return static_cast<float>(level * gain_); }

  // For block rendering: the next n steps described by their few distinct
  // values; FinishSteps then leaves the envelope as n calls of Next would,
  // given the level reached. Step 0 uses first, steps before held use the
  // attack values, step held (when it is not step 0) takes the last attack
  // target in, later ones take 0.
  struct StepPlan {
    int held = 0;
    double first = 0.0;
    double attackTerm = 0.0;
    double attackFactor = 0.0;
    double releaseFirstTerm = 0.0;
    double releaseTerm = 0.0;
    double releaseFactor = 0.0;

    double Term(int k) const {
      if (k == 0) return first;
      return k < held ? attackTerm : k == held ? releaseFirstTerm : releaseTerm;
    }
    double Factor(int k) const { return k < held ? attackFactor : releaseFactor; }
    // The first step after k whose term or factor may differ from step k's.
    int NextChange(int k, int n) const;
  };
  StepPlan PlanStretch(int n) const;
  void FinishSteps(int n, double level);
  // Releasing from the next step on with a level no step changes: what
  // the steps would do is only to count.
  bool AtRest() const;

  float AttackTau() const { return attackTau_; }
  double HoldTime() const { return holdTime_; }
  double ReleaseTau() const { return releaseTau_; }
  double Gain() const { return gain_; }
  double SampleRate() const { return sampleRate_; }
  double Input() const { return input_; }
  double Level() const { return level_; }
  int64_t Count() const { return count_; }
  float Target() const { return target_; }
  float OneMinusC() const { return oneMinusC_; }
  float C() const { return c_; }

private:
  struct Coefficients {
    float oneMinusC = 1.0f;
    float c = 0.0f;
  };
  static Coefficients CoefficientsFor(double samplesPerTau);
  int HeldSteps(int n) const;
  void UpdateCoefficients();

  float attackTau_;
  double holdTime_;
  double releaseTau_;
  double gain_;
  double sampleRate_ = 0.0;
  double input_ = 1.0;
  double level_ = 0.0;
  // 64-bit so that hours of silence can never wrap it back into the attack.
  int64_t count_ = 66666;
  float target_ = 1.0f;
  float oneMinusC_ = 0.0f;
  float c_ = 0.0f;

  double holdSamples_ = 0.0;
  Coefficients attack_;
  Coefficients release_;
};

#pragma once

#include <cmath>

// Polynomial that rounds off a triangle corner within one corner width;
// t is the distance from the corner in corner widths.
float BlampCorrection(float t);

// Band-limited triangle: a naive triangle whose two corners are smoothed by
// BlampCorrection. The phase runs over [-1, 1), one cycle being a span of 2.
class TriangleOscillator {
public:
  void SetSampleRate(double sampleRate) {
    sampleRate_ = sampleRate;
    SetFrequency(frequency_);
  }
  void Restart() { phase_ = 0.0f; }

  struct Step {
    float inc = 0.0f;  // phase step, 2f / sampleRate
    float w = 0.0f;    // corner width, 4f / sampleRate
  };

  float Next(float frequency, float phaseOffset) {
    const Step step = Advance(frequency);
    return Shape(phase_, step, phaseOffset);
  }

  // Moves the phase on by one sample at this frequency; returns the step taken.
  Step Advance(float frequency) {
    // Once a pitch sweep has settled the frequency repeats exactly.
    if (!(frequency == frequency_)) {
      SetFrequency(frequency);
    }
    phase_ = WrapPhase(static_cast<double>(phase_) + step_.inc);
    return step_;
  }

  // The output at a phase reached with the given step. The phase is in
  // [-1, 1] as WrapPhase leaves it and the offset in [0, 1], so each
  // sum below is under 2 and one correction is all WrapPhase would make.
  static float Shape(float phase, Step step, float phaseOffset) {
    const float inc = step.inc;
    const float w = step.w;
    const float q = WrapBelowTwo(static_cast<double>(phase) + phaseOffset);
    const float r = WrapBelowTwo(static_cast<double>(q) + 1.0);
    const float triangle = 2.0f * std::fabs(q) - 1.0f;
    const float lower = w > std::fabs(q) ? BlampCorrection(q / w) : 0.0f;
    const float upper = w > std::fabs(r) ? BlampCorrection(r / w) : 0.0f;
    return 4.0f * lower * inc + triangle - 4.0f * upper * inc;
  }

  float Phase() const { return phase_; }
  double SampleRate() const { return sampleRate_; }
  float Frequency() const { return frequency_; }
  Step CurrentStep() const { return step_; }
  // 2f / sampleRate before rounding: inc and w are it and its double, rounded.
  double UnroundedStep() const { return unrounded_; }
  // For block rendering: the state that Advance calls reaching this phase
  // at this frequency would leave.
  void Resume(float phase, float frequency, double unroundedStep) {
    phase_ = phase;
    frequency_ = frequency;
    unrounded_ = unroundedStep;
    step_ = StepFrom(unroundedStep);
  }

  // Brings y into [-1, 1) by whole cycles.
  static float WrapPhase(double y) {
    if (y >= 1.0)
      y -= 2.0;
    else if (y < -1.0)
      y += 2.0;
    if (!(y >= -1.0 && y < 1.0)) y = WrapFar(y);
    return static_cast<float>(y);
  }

private:
  static float WrapBelowTwo(double y) { return static_cast<float>(y >= 1.0 ? y - 2.0 : y); }

  void SetFrequency(float frequency) {
    frequency_ = frequency;
    unrounded_ = 2.0 * static_cast<double>(frequency) / sampleRate_;
    step_ = StepFrom(unrounded_);
  }

  // 4f/s is 2 * (2f/s) exactly: one division serves both.
  static Step StepFrom(double inc) { return {static_cast<float>(inc), static_cast<float>(2.0 * inc)}; }

  // For steps of a whole cycle or more (frequencies from half the sample
  // rate up), where one correction is not enough.
  static double WrapFar(double y);

  float phase_ = 0.0f;
  double sampleRate_ = 0.0;
  float frequency_ = 0.0f;
  Step step_;
  double unrounded_ = 0.0;
};

#pragma once

#include <cmath>

// Polynomial that rounds off a triangle corner within one corner width;
// t is the distance from the corner in corner widths.
float BlampCorrection(float t);

// Band-limited triangle: a naive triangle whose two corners are smoothed by
// BlampCorrection. The phase runs over [-1, 1), one cycle being a span of 2.
class TriangleOscillator {
public:
    void SetSampleRate(double sampleRate)
    {
        sampleRate_ = sampleRate;
        step_ = StepFor(frequency_);
    }
    void Restart() { phase_ = 0.0f; }

    float Next(float frequency, float phaseOffset)
    {
        // Once a pitch sweep has settled the frequency repeats exactly.
        if (!(frequency == frequency_)) {
            frequency_ = frequency;
            step_ = StepFor(frequency);
        }
        const float inc = step_.inc;
        const float w = step_.w;
        phase_ = WrapPhase(static_cast<double>(phase_) + inc);
        const float q = WrapPhase(static_cast<double>(phase_) + phaseOffset);
        const float r = WrapPhase(static_cast<double>(q) + 1.0);
        const float triangle = 2.0f * std::fabs(q) - 1.0f;
        const float lower = w > std::fabs(q) ? BlampCorrection(q / w) : 0.0f;
        const float upper = w > std::fabs(r) ? BlampCorrection(r / w) : 0.0f;
        return 4.0f * lower * inc + triangle - 4.0f * upper * inc;
    }

    float Phase() const { return phase_; }
    double SampleRate() const { return sampleRate_; }

    // Brings y into [-1, 1) by whole cycles.
    static float WrapPhase(double y)
    {
        if (y >= 1.0)
            y -= 2.0;
        else if (y < -1.0)
            y += 2.0;
        if (!(y >= -1.0 && y < 1.0))
            y = WrapFar(y);
        return static_cast<float>(y);
    }

private:
    struct Step {
        float inc = 0.0f;  // phase step, 2f / sampleRate
        float w = 0.0f;    // corner width, 4f / sampleRate
    };
    Step StepFor(float frequency) const
    {
        const double inc = 2.0 * static_cast<double>(frequency) / sampleRate_;
        // 4f/s is 2 * (2f/s) exactly: one division serves both.
        return {static_cast<float>(inc), static_cast<float>(2.0 * inc)};
    }

    // For steps of a whole cycle or more (frequencies from half the sample
    // rate up), where one correction is not enough.
    static double WrapFar(double y);

    float phase_ = 0.0f;
    double sampleRate_ = 0.0;
    float frequency_ = 0.0f;
    Step step_;
};

#pragma once

// The transistor stages of the drum circuit as transfer polynomials. The
// float and double steps are part of the sound; keep them as they are.

// Drive of the click stage from the click sample and the filtered noise;
// the "Attack" knob scales it by its square, so 0 removes it entirely.
inline float ClickNoiseDrive(float click, float noise, float attack)
{
    const double attackSquared = static_cast<double>(attack) * attack;
    return static_cast<float>((0.6496 * (click * 7.5 * 1.5) + 3.0409 * noise) * attackSquared / 100.0);
}

// Base current through 470 kOhm once an envelope exceeds the stage's
// threshold voltage; 0 below it.
inline float DriveCurrentAbove(float envelope, double threshold)
{
    return static_cast<float>((envelope - threshold) / 470000.0);
}

inline float DriveCurrent(float envelope, double threshold)
{
    return envelope < threshold ? 0.0f : DriveCurrentAbove(envelope, threshold);
}

// Click and noise stage output for drive d and current i2, in two steps
// so that block rendering can run each over a whole block.
inline float ClickStageScaled(float d, float i2) { return (1.161f - (9275.0f * (d * d) + 523.7f * d)) * i2; }
inline float ClickStageDivided(float scaled) { return static_cast<float>(scaled / 2.4e-5); }

inline float ClickStage(float d, float i2)
{
    const float scaled = ClickStageScaled(d, i2);
    // Dividing a signed zero gives it back unchanged; the division is the
    // expensive part while the stage is off.
    return scaled == 0.0f ? scaled : ClickStageDivided(scaled);
}

// Body stage output for the shaped oscillator m and current i1.
inline float BodyStageScaled(float m, float i1) { return (0.4633f - (2.251f * (m * m) + 9.76f * m)) * i1; }
inline float BodyStageDivided(float scaled) { return static_cast<float>(scaled / 2.7e-5); }

inline float BodyStage(float m, float i1)
{
    const float scaled = BodyStageScaled(m, i1);
    return scaled == 0.0f ? scaled : BodyStageDivided(scaled);
}

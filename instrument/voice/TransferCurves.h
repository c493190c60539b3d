#pragma once

// The transistor stages of the drum circuit as transfer polynomials, as the
// sample-by-sample voice works them out (the lanes repeat them over
// vectors). The float and double steps are part of the sound; keep them as
// they are.

// Drive of the click stage from the click sample and the filtered noise;
// the "Attack" knob scales it by its square, so 0 removes it entirely.
inline float ClickNoiseDrive(float click, float noise, float attack)
{
    const double attackSquared = static_cast<double>(attack) * attack;
    return static_cast<float>((0.6496 * (click * 7.5 * 1.5) + 3.0409 * noise) * attackSquared / 100.0);
}

// Base current through 470 kOhm once an envelope exceeds the stage's
// threshold voltage; 0 below it.
inline float DriveCurrent(float envelope, double threshold)
{
    return envelope < threshold ? 0.0f : static_cast<float>((envelope - threshold) / 470000.0);
}

// Click and noise stage output for drive d and current i2.
inline float ClickStage(float d, float i2)
{
    const float scaled = (1.161f - (9275.0f * (d * d) + 523.7f * d)) * i2;
    return static_cast<float>(scaled / 2.4e-5);
}

// Body stage output for the shaped oscillator m and current i1.
inline float BodyStage(float m, float i1)
{
    const float scaled = (0.4633f - (2.251f * (m * m) + 9.76f * m)) * i1;
    return static_cast<float>(scaled / 2.7e-5);
}

#pragma once

inline constexpr int kShaperTableLength = 1001;

// Saturation curve, entry k at input -9 + 0.018 k (ShaperTable.cpp, generated).
extern const float kShaperTable[kShaperTableLength];

// The curve at v, linearly interpolated. Inputs outside -9..+9 (and NaN)
// give the end entries instead of reading outside the table.
inline float ShaperCurve(float v)
{
    constexpr int last = kShaperTableLength - 1;
    const float position = static_cast<float>((v + 9.0) * 1000.0 / 18.0);
    if (!(position > 0.0f))
        return kShaperTable[0];
    if (!(position < static_cast<float>(last)))
        return kShaperTable[last];
    const int i = static_cast<int>(position);
    const int j = i + 1;
    return (kShaperTable[j] - kShaperTable[i]) * (position - static_cast<float>(i)) + kShaperTable[i];
}

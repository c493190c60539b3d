#pragma once
// Only data: shared with the files built for wider instruction sets.

inline constexpr int kShaperTableLength = 1001;

// Saturation curve, entry k at input -9 + 0.018 k (ShaperTable.cpp, generated).
extern const float kShaperTable[kShaperTableLength];

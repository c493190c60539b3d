#pragma once

#include "instrument/voice/ShaperTable.h"

// Table position of input v, in entries.
inline float ShaperPosition(float v) { return static_cast<float>((v + 9.0) * 1000.0 / 18.0); }

// The curve at a table position, linearly interpolated. Positions outside
// the table (and NaN) give the end entries instead of reading outside it.
inline float ShaperAt(float position) {
  constexpr int last = kShaperTableLength - 1;
  if (!(position > 0.0f)) return kShaperTable[0];
  if (!(position < static_cast<float>(last))) return kShaperTable[last];
  const int i = static_cast<int>(position);
  const int j = i + 1;
  return (kShaperTable[j] - kShaperTable[i]) * (position - static_cast<float>(i)) + kShaperTable[i];
}

// The curve at input v (-9..+9).
inline float ShaperCurve(float v) { return ShaperAt(ShaperPosition(v)); }

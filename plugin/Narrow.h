#pragma once

#include <cstdint>

// The scratch's doubles into the host's floats, replacing them or added to
// them. The packed conversions and sums round exactly as the single ones,
// so every version gives the same bits.
void NarrowInto(float* destination, const double* source, int32_t frames, bool accumulate);
// The versions it chooses from: four at a time, and eight with AVX for
// processors that have it.
void NarrowIntoSse2(float* destination, const double* source, int32_t frames, bool accumulate);
void NarrowIntoAvx(float* destination, const double* source, int32_t frames, bool accumulate);

#pragma once
// A value's bits, for comparing samples exactly (signed zeros and NaNs too).

#include <bit>
#include <cstdint>

inline uint32_t Bits(float value) { return std::bit_cast<uint32_t>(value); }
inline uint64_t Bits(double value) { return std::bit_cast<uint64_t>(value); }

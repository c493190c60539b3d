#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "plugin/Narrow.h"

namespace {

// Doubles near float rounding ties and at the edges of the float range,
// as well as ordinary samples.
std::vector<double> AwkwardDoubles(int count) {
  std::vector<double> values;
  for (int i = 0; values.size() < static_cast<size_t>(count); ++i) {
    const double tie = static_cast<double>(1.0f + static_cast<float>(i) * 0x1p-23f) + 0x1p-24;
    values.push_back(i % 2 == 0 ? tie : std::nextafter(tie, 0.0));
    values.push_back(std::sin(i * 0.37) * 0.8);
  }
  values[3] = std::numeric_limits<double>::infinity();
  values[5] = std::numeric_limits<double>::quiet_NaN();
  values[7] = 1e300;
  values[9] = 1e-310;
  values[11] = -0.0;
  values[13] = 0x1p-149;
  values.resize(static_cast<size_t>(count));
  return values;
}

void ExpectEveryLengthNarrowsLikeTheScalarConversion(void (*narrow)(float*, const double*, int32_t, bool)) {
  const std::vector<double> source = AwkwardDoubles(45);
  for (bool accumulate : {false, true}) {
    for (int32_t frames = 0; frames <= 40; ++frames) {
      std::vector<float> out(48, 0.25f);
      narrow(out.data(), source.data(), frames, accumulate);
      for (int32_t s = 0; s < 48; ++s) {
        float expected = 0.25f;
        if (s < frames) expected = accumulate ? 0.25f + static_cast<float>(source[s]) : static_cast<float>(source[s]);
        ASSERT_EQ(std::bit_cast<uint32_t>(out[s]), std::bit_cast<uint32_t>(expected))
            << "frame " << s << " of " << frames << (accumulate ? ", added" : ", replaced");
      }
    }
  }
}

// Every length, so that whole groups and the frames after them are both
// seen, and nothing past the frames is written.
TEST(Narrow, TheHostsFloatsAreEachDoubleRoundedOrAdded) {
  ExpectEveryLengthNarrowsLikeTheScalarConversion(NarrowInto);
  ExpectEveryLengthNarrowsLikeTheScalarConversion(NarrowIntoSse2);
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx")) ExpectEveryLengthNarrowsLikeTheScalarConversion(NarrowIntoAvx);
}

}  // namespace

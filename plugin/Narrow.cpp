#include "plugin/Narrow.h"

#include <emmintrin.h>

// Four at a time: the baseline every x86-64 processor runs.
void NarrowIntoSse2(float* destination, const double* source, int32_t frames, bool accumulate) {
  int32_t s = 0;
  if (accumulate) {
    for (; s + 4 <= frames; s += 4) {
      const __m128 narrowed =
          _mm_movelh_ps(_mm_cvtpd_ps(_mm_loadu_pd(source + s)), _mm_cvtpd_ps(_mm_loadu_pd(source + s + 2)));
      _mm_storeu_ps(destination + s, _mm_add_ps(_mm_loadu_ps(destination + s), narrowed));
    }
    for (; s < frames; ++s) destination[s] += float(source[s]);
  } else {
    for (; s + 4 <= frames; s += 4)
      _mm_storeu_ps(destination + s,
                    _mm_movelh_ps(_mm_cvtpd_ps(_mm_loadu_pd(source + s)), _mm_cvtpd_ps(_mm_loadu_pd(source + s + 2))));
    for (; s < frames; ++s) destination[s] = float(source[s]);
  }
}

namespace {

using NarrowFunction = void (*)(float*, const double*, int32_t, bool);

NarrowFunction WidestNarrow() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx") ? NarrowIntoAvx : NarrowIntoSse2;
}

}  // namespace

void NarrowInto(float* destination, const double* source, int32_t frames, bool accumulate) {
  // In a silent block this is most of the work.
  static const NarrowFunction narrow = WidestNarrow();
  narrow(destination, source, frames, accumulate);
}

// The host's floats from the scratch's doubles, eight at a time. Built with
// AVX, and called only on processors that have it. Nothing here but
// intrinsics: no inline function built for AVX can reach other files.
#include <immintrin.h>

#include <cstdint>

#include "plugin/Narrow.h"

void NarrowIntoAvx(float* destination, const double* source, int32_t frames, bool accumulate) {
  int32_t s = 0;
  if (accumulate) {
    for (; s + 8 <= frames; s += 8) {
      const __m128 low = _mm256_cvtpd_ps(_mm256_loadu_pd(source + s));
      const __m128 high = _mm256_cvtpd_ps(_mm256_loadu_pd(source + s + 4));
      _mm_storeu_ps(destination + s, _mm_add_ps(_mm_loadu_ps(destination + s), low));
      _mm_storeu_ps(destination + s + 4, _mm_add_ps(_mm_loadu_ps(destination + s + 4), high));
    }
    for (; s < frames; ++s) destination[s] += static_cast<float>(source[s]);
  } else {
    for (; s + 8 <= frames; s += 8) {
      _mm_storeu_ps(destination + s, _mm256_cvtpd_ps(_mm256_loadu_pd(source + s)));
      _mm_storeu_ps(destination + s + 4, _mm256_cvtpd_ps(_mm256_loadu_pd(source + s + 4)));
    }
    for (; s < frames; ++s) destination[s] = static_cast<float>(source[s]);
  }
}

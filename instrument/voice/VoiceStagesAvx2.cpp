// The voice stages in eight lanes, for processors with AVX2.
#include <immintrin.h>

#include <cstdint>

namespace {

struct Lanes {
  static constexpr int kWidth = 8;
  using F = __m256;
  using D = __m256d;
  typedef int32_t I __attribute__((vector_size(32)));
  typedef uint32_t U __attribute__((vector_size(32)));

  static D WidenLow(F x) { return _mm256_cvtps_pd(_mm256_castps256_ps128(x)); }
  static D WidenHigh(F x) { return _mm256_cvtps_pd(_mm256_extractf128_ps(x, 1)); }
  static F Narrow(D low, D high) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(low)), _mm256_cvtpd_ps(high), 1);
  }
  static D RoundToFloat(D x) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(x)); }
  static D IntWidenLow(I x) { return _mm256_cvtepi32_pd(_mm256_castsi256_si128(reinterpret_cast<__m256i>(x))); }
  static D IntWidenHigh(I x) { return _mm256_cvtepi32_pd(_mm256_extracti128_si256(reinterpret_cast<__m256i>(x), 1)); }
  template <class M>
  static bool Any(M mask) {
    return _mm256_movemask_ps(reinterpret_cast<__m256>(mask)) != 0;
  }
  // table[index] and table[index + 1] of each lane.
  static void TableNeighbours(const float* table, int, I index, F& at, F& next) {
    at = _mm256_i32gather_ps(table, reinterpret_cast<__m256i>(index), 4);
    next = _mm256_i32gather_ps(table + 1, reinterpret_cast<__m256i>(index), 4);
  }
};

}  // namespace

#include "instrument/voice/VoiceStagesBody.h"

void FillVoiceNoiseAvx2(VoiceStretch& s, const NoiseStart& start, int frames) { FillNoise(s, start, frames); }
void RunVoiceStagesAvx2(VoiceStretch& s, const VoiceStageSettings& c, float& phase, float* out) {
  RunStages(s, c, phase, out);
}
void HalveIntoDoublesAvx2(const float* in, double* out, int frames) { HalveLanes(in, out, frames); }

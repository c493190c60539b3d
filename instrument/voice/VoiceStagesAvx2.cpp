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
  // table[index] and table[index + 1] of each lane, for indexes up to
  // tableSize - 2. Each pair is one 8-byte element of a gather: eight
  // elements gathered instead of sixteen, and gathers cost by the element.
  static void TableNeighbours(const float* table, int, I index, F& at, F& next) {
    const __m256i i = reinterpret_cast<__m256i>(index);
    const long long* pairs = reinterpret_cast<const long long*>(table);
    // Lanes 0-3 and 4-7 as at, next, at, next, ...
    const F low = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_castsi256_si128(i), 4));
    const F high = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_extracti128_si256(i, 1), 4));
    // The shuffles give lanes 0 1 4 5 2 3 6 7; the permute puts them in order.
    at = InLaneOrder(_mm256_shuffle_ps(low, high, 0x88));
    next = InLaneOrder(_mm256_shuffle_ps(low, high, 0xDD));
  }
  static F InLaneOrder(F x) { return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(x), 0xD8)); }
};

}  // namespace

#include "instrument/voice/VoiceStagesBody.h"

void FillVoiceNoiseAvx2(VoiceStretch& s, const NoiseStart& start, int frames) { FillNoise(s, start, frames); }
void RunVoiceStagesAvx2(VoiceStretch& s, const VoiceStageSettings& c, float& phase, float* out) {
  RunStages(s, c, phase, out);
}
void HalveIntoDoublesAvx2(const float* in, double* out, int frames) { HalveLanes(in, out, frames); }

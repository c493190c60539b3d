// The voice stages in sixteen lanes, for processors with AVX-512.
#include <immintrin.h>

#include <cstdint>

namespace {

struct Lanes {
  static constexpr int kWidth = 16;
  using F = __m512;
  using D = __m512d;
  typedef int32_t I __attribute__((vector_size(64)));
  typedef uint32_t U __attribute__((vector_size(64)));

  static D WidenLow(F x) { return _mm512_cvtps_pd(_mm512_castps512_ps256(x)); }
  static D WidenHigh(F x) { return _mm512_cvtps_pd(_mm512_extractf32x8_ps(x, 1)); }
  static F Narrow(D low, D high) {
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(low)), _mm512_cvtpd_ps(high), 1);
  }
  static D RoundToFloat(D x) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(x)); }
  static D IntWidenLow(I x) { return _mm512_cvtepi32_pd(_mm512_castsi512_si256(reinterpret_cast<__m512i>(x))); }
  static D IntWidenHigh(I x) { return _mm512_cvtepi32_pd(_mm512_extracti32x8_epi32(reinterpret_cast<__m512i>(x), 1)); }
  // A compare result has all bits of a lane set or none: its sign bits tell.
  template <class M>
  static bool Any(M mask) {
    if constexpr (sizeof(mask[0]) == 8)
      return _mm512_movepi64_mask(reinterpret_cast<__m512i>(mask)) != 0;
    else
      return _mm512_movepi32_mask(reinterpret_cast<__m512i>(mask)) != 0;
  }
  // table[index] and table[index + 1] of each lane, for indexes up to
  // tableSize - 2. Consecutive frames look up nearby entries, mostly in
  // order, so most groups fit a window of 32 entries from the lower of
  // the first and last lane's, and two permutes beat gathers.
  static void TableNeighbours(const float* table, int tableSize, I index, F& at, F& next) {
    const __m512i i = reinterpret_cast<__m512i>(index);
    const int ends = index[0] < index[kWidth - 1] ? index[0] : index[kWidth - 1];
    const int base = ends < tableSize - 32 ? ends : tableSize - 32;
    const __m512i offset = _mm512_sub_epi32(i, _mm512_set1_epi32(base));
    if (_mm512_cmpgt_epu32_mask(offset, _mm512_set1_epi32(30)) == 0) {
      const __m512 first = _mm512_loadu_ps(table + base);
      const __m512 second = _mm512_loadu_ps(table + base + 16);
      at = _mm512_permutex2var_ps(first, offset, second);
      next = _mm512_permutex2var_ps(first, _mm512_add_epi32(offset, _mm512_set1_epi32(1)), second);
      return;
    }
    at = _mm512_i32gather_ps(i, table, 4);
    next = _mm512_i32gather_ps(i, table + 1, 4);
  }
};

}  // namespace

#include "instrument/voice/VoiceStagesBody.h"

void FillVoiceNoiseAvx512(VoiceStretch& s, const NoiseStart& start, int frames) { FillNoise(s, start, frames); }
void RunVoiceStagesAvx512(VoiceStretch& s, const VoiceStageSettings& c, float& phase, float* out) {
  RunStages(s, c, phase, out);
}
void HalveIntoDoublesAvx512(const float* in, double* out, int frames) { HalveLanes(in, out, frames); }

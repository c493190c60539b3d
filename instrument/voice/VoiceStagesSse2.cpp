// The voice stages in four lanes: the baseline every x86-64 processor runs.
#include <emmintrin.h>

#include <cstdint>

namespace {

struct Lanes {
  static constexpr int kWidth = 4;
  using F = __m128;
  using D = __m128d;
  typedef int32_t I __attribute__((vector_size(16)));
  typedef uint32_t U __attribute__((vector_size(16)));

  static D WidenLow(F x) { return _mm_cvtps_pd(x); }
  static D WidenHigh(F x) { return _mm_cvtps_pd(_mm_movehl_ps(x, x)); }
  static F Narrow(D low, D high) { return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)); }
  static D RoundToFloat(D x) { return _mm_cvtps_pd(_mm_cvtpd_ps(x)); }
  static D IntWidenLow(I x) { return _mm_cvtepi32_pd(reinterpret_cast<__m128i>(x)); }
  static D IntWidenHigh(I x) { return _mm_cvtepi32_pd(_mm_shuffle_epi32(reinterpret_cast<__m128i>(x), 0x4E)); }
  template <class M>
  static bool Any(M mask) {
    return _mm_movemask_ps(reinterpret_cast<__m128>(mask)) != 0;
  }
  // table[index] and table[index + 1] of each lane.
  static void TableNeighbours(const float* table, int, I index, F& at, F& next) {
    at = _mm_setr_ps(table[index[0]], table[index[1]], table[index[2]], table[index[3]]);
    next = _mm_setr_ps(table[index[0] + 1], table[index[1] + 1], table[index[2] + 1], table[index[3] + 1]);
  }
};

}  // namespace

#include "instrument/voice/VoiceStagesBody.h"

void FillVoiceNoiseSse2(VoiceStretch& s, const NoiseStart& start, int frames) { FillNoise(s, start, frames); }
void RunVoiceStagesSse2(VoiceStretch& s, const VoiceStageSettings& c, float& phase, float* out) {
  RunStages(s, c, phase, out);
}
void HalveIntoDoublesSse2(const float* in, double* out, int frames) { HalveLanes(in, out, frames); }

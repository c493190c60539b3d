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
    static F Narrow(D low, D high)
    {
        return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(low)), _mm512_cvtpd_ps(high), 1);
    }
    static D RoundToFloat(D x) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(x)); }
    static D IntWidenLow(I x) { return _mm512_cvtepi32_pd(_mm512_castsi512_si256(reinterpret_cast<__m512i>(x))); }
    static D IntWidenHigh(I x) { return _mm512_cvtepi32_pd(_mm512_extracti32x8_epi32(reinterpret_cast<__m512i>(x), 1)); }
    // A compare result has all bits of a lane set or none: its sign bits tell.
    template <class M>
    static bool Any(M mask)
    {
        if constexpr (sizeof(mask[0]) == 8)
            return _mm512_movepi64_mask(reinterpret_cast<__m512i>(mask)) != 0;
        else
            return _mm512_movepi32_mask(reinterpret_cast<__m512i>(mask)) != 0;
    }
    static F Gather(const float* table, I index) { return _mm512_i32gather_ps(reinterpret_cast<__m512i>(index), table, 4); }
};

}  // namespace

#include "instrument/voice/VoiceStagesBody.h"

void FillVoiceNoiseAvx512(VoiceStretch& s, const NoiseStart& start, int frames) { FillNoise(s, start, frames); }
void RunVoiceStagesAvx512(VoiceStretch& s, const VoiceStageSettings& c, float& phase, float* out)
{
    RunStages(s, c, phase, out);
}

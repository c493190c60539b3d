#include "instrument/voice/VoiceStages.h"

#include <atomic>

#include "instrument/voice/TriangleOscillator.h"

// The wider sets are built for Linux only: GCC cannot keep the Windows
// stack aligned for spilled 32- and 64-byte registers.
#if defined(__x86_64__) && !defined(_WIN32)
#define THUDRA_WIDE_VOICE_LANES 1
#endif

namespace {

VoiceLanes WidestAvailable()
{
    if (VoiceLanesAvailable(VoiceLanes::Avx512))
        return VoiceLanes::Avx512;
    if (VoiceLanesAvailable(VoiceLanes::Avx2))
        return VoiceLanes::Avx2;
    return VoiceLanes::Sse2;
}

// Chosen once at load; a relaxed read per stretch on the audio path.
std::atomic<VoiceLanes> activeLanes{WidestAvailable()};

}  // namespace

bool VoiceLanesAvailable(VoiceLanes lanes)
{
    switch (lanes) {
    case VoiceLanes::Sse2:
        return true;
#if defined(THUDRA_WIDE_VOICE_LANES)
    case VoiceLanes::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case VoiceLanes::Avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#endif
    default:
        return false;
    }
}

VoiceLanes ActiveVoiceLanes() { return activeLanes.load(std::memory_order_relaxed); }

bool SelectVoiceLanes(VoiceLanes lanes)
{
    if (!VoiceLanesAvailable(lanes))
        return false;
    activeLanes.store(lanes, std::memory_order_relaxed);
    return true;
}

const char* VoiceLanesName(VoiceLanes lanes)
{
    switch (lanes) {
    case VoiceLanes::Sse2:
        return "sse2";
    case VoiceLanes::Avx2:
        return "avx2";
    case VoiceLanes::Avx512:
        return "avx512";
    }
    return "?";
}

void FillVoiceNoise(VoiceStretch& stretch, const NoiseStart& start, int frames)
{
    switch (ActiveVoiceLanes()) {
#if defined(THUDRA_WIDE_VOICE_LANES)
    case VoiceLanes::Avx512:
        FillVoiceNoiseAvx512(stretch, start, frames);
        return;
    case VoiceLanes::Avx2:
        FillVoiceNoiseAvx2(stretch, start, frames);
        return;
#endif
    default:
        FillVoiceNoiseSse2(stretch, start, frames);
        return;
    }
}

void RunVoiceStages(VoiceStretch& stretch, const VoiceStageSettings& settings, float& phase, float* out)
{
    switch (ActiveVoiceLanes()) {
#if defined(THUDRA_WIDE_VOICE_LANES)
    case VoiceLanes::Avx512:
        RunVoiceStagesAvx512(stretch, settings, phase, out);
        return;
    case VoiceLanes::Avx2:
        RunVoiceStagesAvx2(stretch, settings, phase, out);
        return;
#endif
    default:
        RunVoiceStagesSse2(stretch, settings, phase, out);
        return;
    }
}

float WrapPhaseSum(float phase, float inc) { return TriangleOscillator::WrapPhase(static_cast<double>(phase) + inc); }

void HalveIntoDoubles(const float* in, double* out, int frames)
{
    switch (ActiveVoiceLanes()) {
#if defined(THUDRA_WIDE_VOICE_LANES)
    case VoiceLanes::Avx512:
        HalveIntoDoublesAvx512(in, out, frames);
        return;
    case VoiceLanes::Avx2:
        HalveIntoDoublesAvx2(in, out, frames);
        return;
#endif
    default:
        HalveIntoDoublesSse2(in, out, frames);
        return;
    }
}

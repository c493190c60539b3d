#include "instrument/voice/VoiceStages.h"

#include <atomic>

#include "instrument/voice/TriangleOscillator.h"

namespace {

VoiceLanes WidestAvailable() {
  if (VoiceLanesAvailable(VoiceLanes::Avx512)) return VoiceLanes::Avx512;
  if (VoiceLanesAvailable(VoiceLanes::Avx2)) return VoiceLanes::Avx2;
  return VoiceLanes::Sse2;
}

// Chosen once at load; a relaxed read per stretch on the audio path.
std::atomic<VoiceLanes> activeLanes{WidestAvailable()};
// A set chosen by SelectVoiceLanes stays chosen: the timing leaves it.
std::atomic<bool> laneSetSelected{false};

}  // namespace

bool VoiceLanesAvailable(VoiceLanes lanes) {
  switch (lanes) {
    case VoiceLanes::Sse2:
      return true;
    case VoiceLanes::Avx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
    case VoiceLanes::Avx512:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
    default:
      return false;
  }
}

VoiceLanes ActiveVoiceLanes() { return activeLanes.load(std::memory_order_relaxed); }

bool SelectVoiceLanes(VoiceLanes lanes) {
  if (!VoiceLanesAvailable(lanes)) return false;
  activeLanes.store(lanes, std::memory_order_relaxed);
  laneSetSelected.store(true, std::memory_order_relaxed);
  return true;
}

void UseTimedVoiceLanes(VoiceLanes lanes) {
  if (VoiceLanesAvailable(lanes) && !laneSetSelected.load(std::memory_order_relaxed))
    activeLanes.store(lanes, std::memory_order_relaxed);
}

const char* VoiceLanesName(VoiceLanes lanes) {
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

namespace {

// Each set's functions, in the order of VoiceLanes.
struct LaneFunctions {
  void (*fillNoise)(VoiceStretch&, const NoiseStart&, int);
  void (*runStages)(VoiceStretch&, const VoiceStageSettings&, float&, float*);
  void (*halve)(const float*, double*, int);
};

constexpr LaneFunctions kLaneFunctions[] = {
    {FillVoiceNoiseSse2, RunVoiceStagesSse2, HalveIntoDoublesSse2},
    {FillVoiceNoiseAvx2, RunVoiceStagesAvx2, HalveIntoDoublesAvx2},
    {FillVoiceNoiseAvx512, RunVoiceStagesAvx512, HalveIntoDoublesAvx512},
};

const LaneFunctions& Active() { return kLaneFunctions[static_cast<int>(ActiveVoiceLanes())]; }

}  // namespace

void RunVoiceLaneStages(VoiceLanes lanes, VoiceStretch& stretch, const NoiseStart& noise,
                        const VoiceStageSettings& settings, float& phase, float* out) {
  const LaneFunctions& set = kLaneFunctions[static_cast<int>(VoiceLanesAvailable(lanes) ? lanes : VoiceLanes::Sse2)];
  set.fillNoise(stretch, noise, settings.frames);
  set.runStages(stretch, settings, phase, out);
}

void FillVoiceNoise(VoiceStretch& stretch, const NoiseStart& start, int frames) {
  Active().fillNoise(stretch, start, frames);
}

void RunVoiceStages(VoiceStretch& stretch, const VoiceStageSettings& settings, float& phase, float* out) {
  Active().runStages(stretch, settings, phase, out);
}

void HalveIntoDoubles(const float* in, double* out, int frames) { Active().halve(in, out, frames); }

float WrapPhaseSum(float phase, float inc) { return TriangleOscillator::WrapPhase(static_cast<double>(phase) + inc); }

#include <chrono>
#include <cmath>
#include <memory>

#include "instrument/voice/VoiceStages.h"

namespace {

constexpr VoiceLanes kEverySet[] = {VoiceLanes::Sse2, VoiceLanes::Avx2, VoiceLanes::Avx512};

// A narrower set must beat a wider one by this much to be chosen: timings
// a fraction of a millisecond long are noisy, and the widest usually wins.
constexpr double kClearlyFaster = 0.9;

// A stretch as a hit leaves it a few milliseconds in: every stage at work,
// the click stage too.
void FillSoundingStretch(VoiceStretch& s) {
  for (int k = 0; k < kVoiceStretch; ++k) {
    const double t = static_cast<double>(k);
    s.ampLevel[k] = std::exp(-t / 8000.0);
    s.clickLevel[k] = 0.5 * std::exp(-t / 400.0);
    s.pitchLevel[k] = static_cast<float>(std::exp(-t / 1500.0));
    s.tail[k] = 0.1 * std::exp(-t / 4800.0);
    s.click[k] = static_cast<float>(0.5 * std::sin(t * 0.05));
    s.noise[k] = static_cast<float>(0.01 * std::cos(t * 0.7));
  }
}

}  // namespace

VoiceLanes FastestVoiceLanes(const VoiceLaneTimes& times) {
  int chosen = -1;
  for (int set = 2; set >= 0; --set) {
    const double t = times.seconds[set];
    if (!(t > 0.0)) continue;
    if (chosen < 0 || t < kClearlyFaster * times.seconds[chosen]) chosen = set;
  }
  return chosen < 0 ? VoiceLanes::Sse2 : kEverySet[chosen];
}

VoiceLaneTimes TimeVoiceLanes() {
  auto stretch = std::make_unique<VoiceStretch>();
  FillSoundingStretch(*stretch);
  const VoiceStageSettings settings = {kVoiceStretch, 0, 6.5243, 7.5, 14.8f, 1.0, 55.0, 48000.0, 1.5, 0.25, false};
  float out[kVoiceStretch];
  VoiceLaneTimes best = {};
  // Rounds go through the sets in turn, so that a pause of the processor
  // costs one round of one set, and the best round counts.
  constexpr int kRounds = 3;
  constexpr int kStretchesPerRound = 6;
  for (int round = 0; round < kRounds; ++round) {
    for (int set = 0; set < 3; ++set) {
      if (!VoiceLanesAvailable(kEverySet[set])) continue;
      float phase = 0.0f;
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kStretchesPerRound; ++i) {
        RunVoiceLaneStages(kEverySet[set], *stretch, {12345u + static_cast<uint32_t>(i), 0.7f, 0.99}, settings, phase,
                           out);
      }
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      // A clock too coarse to see the work still counts as taking some.
      const double taken = seconds > 0.0 ? seconds : 1e-12;
      if (best.seconds[set] == 0.0 || taken < best.seconds[set]) best.seconds[set] = taken;
    }
  }
  return best;
}

void ChooseVoiceLanesByTiming() {
  // Once per process; later instances wait for the first one's choice.
  static const VoiceLanes fastest = FastestVoiceLanes(TimeVoiceLanes());
  UseTimedVoiceLanes(fastest);
}

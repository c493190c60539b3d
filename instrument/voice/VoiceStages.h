#pragma once

#include <cstdint>

// The voice renders in stretches: one scalar loop runs the recurrences
// (noise filters, envelopes, tail) and leaves their values here; the stages
// that need no earlier sample then run over the whole stretch in SIMD
// lanes, with the oscillator's phase chain beside them. This header holds
// only data and plain declarations, because it is shared with the files
// built for wider instruction sets.

inline constexpr int kVoiceStretch = 256;

struct VoiceStretch {
  alignas(64) double ampLevel[kVoiceStretch];
  alignas(64) double clickLevel[kVoiceStretch];
  alignas(64) double tail[kVoiceStretch];
  alignas(64) double noiseTerm[kVoiceStretch];
  // b * u of the step before each sample, then of each sample.
  alignas(64) double noiseProduct[kVoiceStretch + 8];
  alignas(64) uint32_t noiseState[kVoiceStretch];
  alignas(64) float noiseLevel[kVoiceStretch];
  alignas(64) float noise[kVoiceStretch];
  alignas(64) float click[kVoiceStretch];
  alignas(64) float pitchLevel[kVoiceStretch];
  // The oscillator's frequency, phase step, corner width and phase.
  alignas(64) float frequency[kVoiceStretch];
  alignas(64) float inc[kVoiceStretch];
  alignas(64) float cornerWidth[kVoiceStretch];
  alignas(64) float phase[kVoiceStretch];
  // The oscillator's output, its place on the saturation curve and the curve there.
  alignas(64) float oscillator[kVoiceStretch];
  alignas(64) float shaperPosition[kVoiceStretch];
  alignas(64) float saturated[kVoiceStretch];
  alignas(64) float ampCurrent[kVoiceStretch];
  alignas(64) float clickCurrent[kVoiceStretch];
  alignas(64) float body[kVoiceStretch];
};

// What the stages need beyond the stretch: frames is 1..kVoiceStretch and
// silentFrames counts the leading frames before the oscillator starts.
struct VoiceStageSettings {
  int frames;
  int silentFrames;
  double ampGain;
  double clickGain;
  float pitchGain;
  double tuneDepthX2;
  double baseFrequency;
  double oscillatorRate;
  double distortPlusOne;
  double attackSquared;
  // No frame has click current and the tail is never zero: the click
  // stage adds nothing to any frame.
  bool clickSilent;
};

// Where the noise generator and the high-pass input stand before a stretch.
struct NoiseStart {
  uint32_t state;
  float highPassIn;
  double highPassB;
};

// The instruction sets the stages are built for; every one gives the same
// bits, only the number of lanes differs.
enum class VoiceLanes { Sse2, Avx2, Avx512 };

// Built into this module and supported by this processor and system.
bool VoiceLanesAvailable(VoiceLanes lanes);
// The widest available set unless SelectVoiceLanes (or the timing
// below) chose another.
VoiceLanes ActiveVoiceLanes();
// For tests and benchmarks: false, changing nothing, when not available.
// The set stays chosen over the timing below.
bool SelectVoiceLanes(VoiceLanes lanes);
const char* VoiceLanesName(VoiceLanes lanes);

// Seconds each set (in the order of VoiceLanes) took on the same work;
// 0 for a set that is not available.
struct VoiceLaneTimes {
  double seconds[3];
};
// The widest timed set, unless a narrower one took clearly less time:
// every set gives the same bits, so only speed decides.
VoiceLanes FastestVoiceLanes(const VoiceLaneTimes& times);
// Each available set's noise and stages on a stretch of a sounding hit.
// About a tenth of a millisecond in all.
VoiceLaneTimes TimeVoiceLanes();
// Makes the set this processor runs fastest active, timing the sets the
// first time it is called in the process, unless SelectVoiceLanes chose
// one; off the audio path, before the first render.
void ChooseVoiceLanesByTiming();
// What that timing makes active.
void UseTimedVoiceLanes(VoiceLanes lanes);
// One given set's noise and stages over a stretch, for timing; the
// baseline set in place of one this processor does not have.
void RunVoiceLaneStages(VoiceLanes lanes, VoiceStretch& stretch, const NoiseStart& noise,
                        const VoiceStageSettings& settings, float& phase, float* out);

// The noise levels, generator states and high-pass input terms of the
// stretch's frames.
void FillVoiceNoise(VoiceStretch& stretch, const NoiseStart& start, int frames);
// Currents, oscillator, saturation, both transistor stages and the mix,
// from the stretch's recurrence values to the output samples. phase is the
// oscillator's, carried on over the stretch.
void RunVoiceStages(VoiceStretch& stretch, const VoiceStageSettings& settings, float& phase, float* out);

// The oscillator's phase step where the float sum leaves (-1, 1): the
// double sum and wrap of TriangleOscillator::Advance. Built for the
// baseline set.
float WrapPhaseSum(float phase, float inc);

// The instrument's output level: out[k] = double(in[k] * 0.5f).
void HalveIntoDoubles(const float* in, double* out, int frames);

// One set each, built by the files of the same name.
void FillVoiceNoiseSse2(VoiceStretch&, const NoiseStart&, int);
void RunVoiceStagesSse2(VoiceStretch&, const VoiceStageSettings&, float&, float*);
void HalveIntoDoublesSse2(const float*, double*, int);
void FillVoiceNoiseAvx2(VoiceStretch&, const NoiseStart&, int);
void RunVoiceStagesAvx2(VoiceStretch&, const VoiceStageSettings&, float&, float*);
void HalveIntoDoublesAvx2(const float*, double*, int);
void FillVoiceNoiseAvx512(VoiceStretch&, const NoiseStart&, int);
void RunVoiceStagesAvx512(VoiceStretch&, const VoiceStageSettings&, float&, float*);
void HalveIntoDoublesAvx512(const float*, double*, int);

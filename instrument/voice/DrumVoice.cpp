#include "instrument/voice/DrumVoice.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#include <emmintrin.h>

#include "instrument/voice/FloatPhase.h"
#include "instrument/voice/NoiseCatchUp.h"
#include "instrument/voice/ShaperCurve.h"
#include "instrument/voice/TransferCurves.h"

namespace {

// Times and time constants are worked out in double and kept at single
// precision, as the circuit values always were.
double SinglePrecision(double x) { return static_cast<double>(static_cast<float>(x)); }

int32_t ModeFlag(double x) { return x >= 1.0 ? 1 : 0; }

std::atomic<bool> settledSkipEnabled{true};

float PitchFrequency(float pitchEnvelope, float tuneDepthX2, float baseFrequency) {
  return static_cast<float>(PitchFrequencyOf(static_cast<double>(pitchEnvelope), tuneDepthX2, baseFrequency));
}

float ShaperInput(float oscillator, float distort) {
  return static_cast<float>(oscillator * kShaperDrive * (distort + 1.0f));
}

// Without click current the click stage gives a signed zero, which can only
// show in the output when everything else is zero too: its work is skipped
// otherwise.
bool ClickStageAudible(float i2, float body, double tail) { return i2 != 0.0f || (body == 0.0f && tail == 0.0); }

float MixOutput(float body, float click, double tail) {
  return static_cast<float>(MixOf(static_cast<double>(body), static_cast<double>(click), tail));
}

}  // namespace

void NoiseHighPass::SetSampleRate(double rate) {
  sampleRate = rate;
  const double t = 1.0 / rate;
  const double k = 2.0f * tau;
  b = k / (k + t);
  r = (t - k) / (k + t);
}

void NoiseLowPass::SetSampleRate(double rate) {
  sampleRate = rate;
  const double t = 1.0 / rate;
  const double k = 2.0f * tau;
  g = t / (k + t);
  r = (t - k) / (k + t);
}

// Attack constants: 18, 22 and 30.8 kOhm on 33 nF; the noise release starts
// as 630 kOhm on 33 nF until the "NoiseDecay" knob replaces it.
DrumVoice::DrumVoice()
    : ampEnv_(0.000594f, 0.0, 0.0, 0.0),
      clickEnv_(0.000726f, 0.002f, 0.02079f, 0.0),
      pitchEnv_(0.0010164f, 0.0023f, 0.0, kPitchGain) {}

DrumVoice::~DrumVoice() = default;

void DrumVoice::SetSampleRate(double sampleRate) {
  // What was skipped ran at the old rate; hosts set the same rate again
  // on every resume, which changes nothing.
  if (!(sampleRate == sampleRate_)) CatchUp();
  sampleRate_ = sampleRate;
  ampEnv_.SetSampleRate(sampleRate);
  clickEnv_.SetSampleRate(sampleRate);
  pitchEnv_.SetSampleRate(sampleRate);
  highPass_.SetSampleRate(sampleRate);
  lowPass_.SetSampleRate(sampleRate);
  click_.SetSampleRate(sampleRate);
  osc_.SetSampleRate(sampleRate);
  tailSampleRate_ = sampleRate;
  tailFactor_ = std::exp(-1.0 / (tailSampleRate_ * tailTau_));
  oscStartCount_ = sampleRate_ * 0.002 - 1.0;
}

void DrumVoice::ApplyParam(int index, double x) {
  switch (index) {
    case kVoicePitch:
      pitch_ = static_cast<float>(x);
      break;
    case kVoiceAccent: {
      // A 15 V accent swing; the body loses one diode drop.
      accent_ = static_cast<float>(x);
      const float a15 = accent_ * 15.0f;
      ampEnv_.SetGain(a15 - 0.9757);
      clickEnv_.SetGain(a15);
      break;
    }
    case kVoiceDecay:
      // 1 MOhm pot plus 47 kOhm charging 0.33 uF.
      decayX2_ = static_cast<float>(2.0 * x);
      ampEnv_.SetReleaseTau(SinglePrecision((decayX2_ * 0.5 * 1000000 + 47000) * 3.3e-7));
      break;
    case kVoiceTuneDecay:
      // 200 kOhm pot plus 22 kOhm on 0.8 x 0.33 uF.
      tuneDecayX2_ = static_cast<float>(2.0 * x);
      pitchEnv_.SetReleaseTau(SinglePrecision((tuneDecayX2_ * 100000.0 + 22000) * 0.8 * 3.3e-7));
      break;
    case kVoiceAttack:
      attack_ = static_cast<float>(x);
      break;
    case kVoiceHold:
      holdX2_ = static_cast<float>(2.0 * x);
      ampEnv_.SetHoldTime(SinglePrecision(holdX2_ * 0.1 + 0.005));
      break;
    case kVoiceTuneDepth: {
      // The skipped phase steps were taken at the old depth's frequency;
      // with the pitch envelope at rest it rarely changes.
      const float depth = static_cast<float>(2.0 * x);
      const float pitch = static_cast<float>(pitchEnv_.Level()) * kPitchGain;
      if (std::bit_cast<uint32_t>(PitchFrequency(pitch, depth, baseFrequency_)) !=
          std::bit_cast<uint32_t>(osc_.Frequency()))
        CatchUpPhase();
      tuneDepthX2_ = depth;
      break;
    }
    case kVoiceNoiseDecay: {
      // Follows the square of the knob; 0.004158 s is 126 kOhm on 33 nF.
      noiseDecay_ = static_cast<float>(x);
      const double nd = noiseDecay_;
      clickEnv_.SetReleaseTau(SinglePrecision(nd * nd * 3.3e-8 * 630000 * 10 + 0.004157999999999999));
      break;
    }
    case kVoiceDistort:
      distort_ = static_cast<float>(x);
      break;
    case kVoiceMidiTuneFlag:
      tuneMode_ = ModeFlag(x);
      break;
    case kVoiceMidiAccentFlag:
      accentMode_ = ModeFlag(x);
      break;
    default:
      break;
  }
}

void DrumVoice::Trigger() {
  click_.Restart();
  ampEnv_.Restart();
  clickEnv_.Restart();
  pitchEnv_.Restart();
  osc_.Restart();
  // The restart overrides whatever phase the skipped steps reached.
  phaseDebt_ = 0;
  tail_ = lastOutput_;

  const float semitones = tuneMode_ != 0 ? static_cast<float>(note_) + pitch_ - 69.0f : pitch_ + 33.0f - 69.0f;
  baseFrequency_ = static_cast<float>(440.0 * std::pow(2.0, semitones / 12.0));

  float a = accent_;
  if (accentMode_ != 0) {
    a = static_cast<float>(midiAccent_);
    accent_ = a;
  }
  const float a15 = a * 15.0f;
  clickEnv_.SetGain(a15);
  ampEnv_.SetGain(SinglePrecision(a15 - 0.9757));
}

float DrumVoice::NextSample() {
  if (filterDebt_ != 0 || phaseDebt_ != 0) CatchUp();
  noiseState_ = NextNoiseState(noiseState_);
  const float h = highPass_.Next(NoiseLevel(noiseState_));
  const float w = lowPass_.Next(h);

  const float c = click_.Next();
  const float i2 = DriveCurrent(clickEnv_.Next(), kClickDriveThreshold);

  const float f = PitchFrequency(pitchEnv_.Next(), tuneDepthX2_, baseFrequency_);

  // Mutes only the first 2 ms after construction: the count is never reset.
  const float o = static_cast<double>(sampleCount_) > oscStartCount_ ? osc_.Next(f, 0.5f) : 0.0f;
  const float m = ShaperCurve(ShaperInput(o, distort_));
  const float i1 = DriveCurrent(ampEnv_.Next(), kBodyDriveThreshold);

  tail_ *= tailFactor_;
  ++sampleCount_;

  const float b = BodyStage(m, i1);
  float g = 0.0f;
  if (ClickStageAudible(i2, b, tail_)) g = ClickStage(ClickNoiseDrive(c, w, attack_), i2);
  const float out = MixOutput(b, g, tail_);
  lastOutput_ = out;
  return out;
}

void DrumVoice::Render(float* out, int32_t frames) {
  while (frames > 0) {
    if (Settled()) {
      SkipSettled(out, frames);
      return;
    }
    if (filterDebt_ != 0 || phaseDebt_ != 0) CatchUp();
    const int n = frames < kVoiceStretch ? static_cast<int>(frames) : kVoiceStretch;
    RenderStretch(out, n);
    out += n;
    frames -= n;
  }
}

void DrumVoice::RenderStretch(float* out, int n) {
  VoiceStretch& s = stretch_;

  // The oscillator starts at the first sample past its start count and
  // stays on from there, as the count only grows.
  int live = 0;
  while (live < n && !(static_cast<double>(sampleCount_ + live) > oscStartCount_)) ++live;

  // The noise and the high-pass input terms b * u - b * in do not depend
  // on the filters' outputs: worked out ahead of the recurrences.
  FillVoiceNoise(s, {noiseState_, highPass_.in, highPass_.b}, n);
  noiseState_ = s.noiseState[n - 1];
  highPass_.in = s.noiseLevel[n - 1];

  const RcEnvelope::StepPlan ampPlan = ampEnv_.PlanStretch(n);
  const RcEnvelope::StepPlan clickPlan = clickEnv_.PlanStretch(n);
  const RcEnvelope::StepPlan pitchPlan = pitchEnv_.PlanStretch(n);

  // The recurrences, in one loop on local copies so that their dependency
  // chains overlap. The stretch is split where an envelope's coefficients
  // change, so each piece runs on constants.
  const double hpR = highPass_.r;
  const double lpG = lowPass_.g;
  const double lpR = lowPass_.r;
  float hpOut = highPass_.out;
  float lpOut = lowPass_.out;
  // g * in of the low-pass is the g * h of the step before: worked out once.
  double lpGIn = lpG * lowPass_.in;
  __m128d levels = _mm_setr_pd(ampEnv_.Level(), clickEnv_.Level());
  double pitchLevel = pitchEnv_.Level();
  double tail = tail_;
  const double tailFactor = tailFactor_;
  const auto piece = [&](int begin, int end, double ampTerm, double ampFactor, double clickTerm, double clickFactor,
                         double pitchTerm, double pitchFactor) __attribute__((always_inline)) {
    const __m128d terms = _mm_setr_pd(ampTerm, clickTerm);
    const __m128d factors = _mm_setr_pd(ampFactor, clickFactor);
    for (int k = begin; k < end; ++k) {
      hpOut = static_cast<float>(s.noiseTerm[k] - hpR * hpOut);
      const double gh = lpG * hpOut;
      lpOut = static_cast<float>(gh + lpGIn - lpR * lpOut);
      lpGIn = gh;
      s.noise[k] = lpOut;
      // The amp and click envelopes side by side: StepLevel on both at once.
      levels = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_add_pd(terms, _mm_mul_pd(factors, levels))));
      _mm_storel_pd(s.ampLevel + k, levels);
      _mm_storeh_pd(s.clickLevel + k, levels);
      const float pitchLevelF = static_cast<float>(pitchTerm + pitchFactor * pitchLevel);
      pitchLevel = pitchLevelF;
      s.pitchLevel[k] = pitchLevelF;
      tail *= tailFactor;
      s.tail[k] = tail;
    }
  };

  for (int k = 0; k < n;) {
    int end = ampPlan.NextChange(k, n);
    const int clickEnd = clickPlan.NextChange(k, n);
    const int pitchEnd = pitchPlan.NextChange(k, n);
    end = clickEnd < end ? clickEnd : end;
    end = pitchEnd < end ? pitchEnd : end;
    piece(k, end, ampPlan.Term(k), ampPlan.Factor(k), clickPlan.Term(k), clickPlan.Factor(k), pitchPlan.Term(k),
          pitchPlan.Factor(k));
    k = end;
  }

  highPass_.out = hpOut;
  lowPass_.in = hpOut;
  lowPass_.out = lpOut;
  ampEnv_.FinishSteps(n, _mm_cvtsd_f64(levels));
  clickEnv_.FinishSteps(n, _mm_cvtsd_f64(_mm_unpackhi_pd(levels, levels)));
  pitchEnv_.FinishSteps(n, pitchLevel);
  tail_ = tail;

  if (click_.Finished()) {
    for (int k = 0; k < n; ++k) s.click[k] = 0.0f;
  } else {
    for (int k = 0; k < n; ++k) s.click[k] = click_.Next();
  }

  const double attack = attack_;
  const VoiceStageSettings settings = {n,
                                       live,
                                       ampEnv_.Gain(),
                                       clickEnv_.Gain(),
                                       kPitchGain,
                                       tuneDepthX2_,
                                       baseFrequency_,
                                       osc_.SampleRate(),
                                       static_cast<double>(distort_ + 1.0f),
                                       attack * attack};
  float phase = osc_.Phase();
  RunVoiceStages(s, settings, phase, out);
  if (live < n) {
    // The oscillator as the last sample's Advance leaves it (the float
    // product with the float gain is the envelope's rounded output).
    const float f = PitchFrequency(s.pitchLevel[n - 1] * kPitchGain, tuneDepthX2_, baseFrequency_);
    osc_.Resume(phase, f, 2.0 * static_cast<double>(f) / osc_.SampleRate());
  }
  sampleCount_ += n;
  lastOutput_ = out[n - 1];
}

void DrumVoice::EnableSettledSkip(bool enabled) { settledSkipEnabled.store(enabled, std::memory_order_relaxed); }

bool DrumVoice::Settled() const {
  if (!settledSkipEnabled.load(std::memory_order_relaxed)) return false;
  // Both transistors without base current: the stages give signed zeros.
  const bool stagesQuiet = ampEnv_.Output(ampEnv_.Level()) < kBodyDriveThreshold &&
                           clickEnv_.Output(clickEnv_.Level()) < kClickDriveThreshold;
  // The tail decayed to where a step keeps it; a -0 would let the stages'
  // signed zeros through to the output.
  const bool tailAtRest = std::bit_cast<uint64_t>(tail_ * tailFactor_) == std::bit_cast<uint64_t>(tail_) &&
                          !(tail_ == 0.0 && std::signbit(tail_));
  const NoiseFilterCoefficients filters = {highPass_.b, highPass_.r, lowPass_.g, lowPass_.r};
  const NoiseFilterValues values = {highPass_.in, highPass_.out, lowPass_.in, lowPass_.out};
  return stagesQuiet && tailAtRest && click_.AtEnd() && static_cast<double>(sampleCount_) > oscStartCount_ &&
         ampEnv_.AtRest() && clickEnv_.AtRest() && pitchEnv_.AtRest() && NoiseFiltersBoundable(filters, values);
}

// Everything a rendered stretch would leave, but the noise filters and the
// phase, which wait for CatchUp: the output is the tail, the envelopes only
// count, and the generator jumps.
void DrumVoice::SkipSettled(float* out, int32_t frames) {
  // A click past its end only marks itself finished, as its next sample would.
  if (!click_.Finished()) click_.Next();
  const float quiet = static_cast<float>(tail_);
  if (std::bit_cast<uint32_t>(quiet) == 0u) {
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(frames));
  } else {
    for (int32_t k = 0; k < frames; ++k) out[k] = quiet;
  }
  if (filterDebt_ == 0) debtNoiseState_ = noiseState_;
  noiseState_ = JumpNoiseState(noiseState_, static_cast<uint64_t>(frames));
  filterDebt_ += static_cast<uint64_t>(frames);
  ampEnv_.FinishSteps(frames, ampEnv_.Level());
  clickEnv_.FinishSteps(frames, clickEnv_.Level());
  pitchEnv_.FinishSteps(frames, pitchEnv_.Level());
  const float f = PitchFrequency(static_cast<float>(pitchEnv_.Level()) * kPitchGain, tuneDepthX2_, baseFrequency_);
  osc_.Resume(osc_.Phase(), f, 2.0 * static_cast<double>(f) / osc_.SampleRate());
  phaseDebt_ += static_cast<uint64_t>(frames);
  sampleCount_ += frames;
  lastOutput_ = quiet;
}

void DrumVoice::CatchUp() {
  if (filterDebt_ != 0) {
    const NoiseFilterCoefficients filters = {highPass_.b, highPass_.r, lowPass_.g, lowPass_.r};
    const NoiseFilterValues values = {highPass_.in, highPass_.out, lowPass_.in, lowPass_.out};
    const NoiseFilterValues now = CatchUpNoiseFilters(filters, values, debtNoiseState_, filterDebt_);
    highPass_.in = now.highPassIn;
    highPass_.out = now.highPassOut;
    lowPass_.in = now.lowPassIn;
    lowPass_.out = now.lowPassOut;
    filterDebt_ = 0;
  }
  CatchUpPhase();
}

// Step by step: a rounded phase has no shortcut. Only needed when no hit
// restarts the phase first.
void DrumVoice::CatchUpPhase() {
  if (phaseDebt_ == 0) return;
  const float inc = osc_.CurrentStep().inc;
  float phase = osc_.Phase();
  for (uint64_t i = 0; i < phaseDebt_; ++i) phase = PhaseStep(phase, inc);
  osc_.Resume(phase, osc_.Frequency(), osc_.UnroundedStep());
  phaseDebt_ = 0;
}

#include "instrument/voice/DrumVoice.h"

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

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

// How a run of envelope steps on one term and factor is worked out. All
// three give the bits of RcEnvelope::StepLevel; the cheaper ones shorten
// the chain each sample waits on.
enum class LevelSteps { General, Decay, Constant };

// With no input term, a factor in (0, 1] and a level that is not negative,
// the float factor times the float level is exact in double, so one float
// product rounds as the double sum does, and no -0 can appear. (Flushing
// and reading denormals as zero treat both alike: the conversions the
// double step makes honour them too.)
LevelSteps StepsFor(double term, double factor, double level) {
  if (RcEnvelope::StepKeeps(term, factor, level)) return LevelSteps::Constant;
  if (std::bit_cast<uint64_t>(term) == 0 && factor > 0.0 && factor <= 1.0 && !std::signbit(level))
    return LevelSteps::Decay;
  return LevelSteps::General;
}

// One envelope's steps over a piece of a stretch.
template <LevelSteps kSteps>
struct LevelChain {
  double term;
  double factor;
  double level;
  float factorF;
  float levelF;

  LevelChain(double t, double f, double l)
      : term(t), factor(f), level(l), factorF(static_cast<float>(f)), levelF(static_cast<float>(l)) {}
  double Next() {
    if constexpr (kSteps == LevelSteps::Decay) {
      levelF *= factorF;
      return levelF;
    } else if constexpr (kSteps == LevelSteps::General) {
      level = RcEnvelope::StepLevel(term, factor, level);
    }
    return level;
  }
  double Level() const { return kSteps == LevelSteps::Decay ? static_cast<double>(levelF) : level; }
};

// What a piece starts from and leaves: each envelope's term, factor and
// level, and the tail.
struct LevelPiece {
  double term[3];
  double factor[3];
  double level[3];
  double tail;
  double tailFactor;
};

// The three envelopes (amp, click, pitch) and the tail over frames
// [begin, end), in one loop so that their chains overlap.
template <LevelSteps kAmp, LevelSteps kClick, LevelSteps kPitch>
void RunLevelPiece(VoiceStretch& s, int begin, int end, LevelPiece& p) {
  LevelChain<kAmp> amp(p.term[0], p.factor[0], p.level[0]);
  LevelChain<kClick> click(p.term[1], p.factor[1], p.level[1]);
  LevelChain<kPitch> pitch(p.term[2], p.factor[2], p.level[2]);
  double tail = p.tail;
  const double tailFactor = p.tailFactor;
  for (int k = begin; k < end; ++k) {
    s.ampLevel[k] = amp.Next();
    s.clickLevel[k] = click.Next();
    s.pitchLevel[k] = static_cast<float>(pitch.Next());
    tail *= tailFactor;
    s.tail[k] = tail;
  }
  p.level[0] = amp.Level();
  p.level[1] = click.Level();
  p.level[2] = pitch.Level();
  p.tail = tail;
}

using LevelPieceRunner = void (*)(VoiceStretch&, int, int, LevelPiece&);

template <int... kCombination>
constexpr std::array<LevelPieceRunner, sizeof...(kCombination)> LevelPieceRunners(
    std::integer_sequence<int, kCombination...>) {
  return {&RunLevelPiece<static_cast<LevelSteps>(kCombination / 9), static_cast<LevelSteps>(kCombination / 3 % 3),
                         static_cast<LevelSteps>(kCombination % 3)>...};
}

constexpr auto kLevelPieceRunners = LevelPieceRunners(std::make_integer_sequence<int, 27>{});

// A general step may settle on a level it keeps: looked for this often.
constexpr int kSettleCheckFrames = 32;

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
    CatchUpPhase();
    const int n = frames < kVoiceStretch ? static_cast<int>(frames) : kVoiceStretch;
    RenderStretch(out, n);
    out += n;
    frames -= n;
  }
}

bool DrumVoice::RunEnvelopes(int n) {
  const RcEnvelope::StepPlan plans[3] = {ampEnv_.PlanStretch(n), clickEnv_.PlanStretch(n), pitchEnv_.PlanStretch(n)};
  LevelPiece piece = {{}, {}, {ampEnv_.Level(), clickEnv_.Level(), pitchEnv_.Level()}, tail_, tailFactor_};
  bool clickCurrent = false;
  const double clickGain = clickEnv_.Gain();
  // Pieces end where an envelope's coefficients change, so each runs on constants.
  for (int k = 0; k < n;) {
    int end = n;
    int combination = 0;
    for (int e = 0; e < 3; ++e) {
      const int change = plans[e].NextChange(k, n);
      end = change < end ? change : end;
      piece.term[e] = plans[e].Term(k);
      piece.factor[e] = plans[e].Factor(k);
      const LevelSteps steps = StepsFor(piece.term[e], piece.factor[e], piece.level[e]);
      if (steps == LevelSteps::General && k + kSettleCheckFrames < end) end = k + kSettleCheckFrames;
      combination = combination * 3 + static_cast<int>(steps);
    }
    kLevelPieceRunners[static_cast<size_t>(combination)](stretch_, k, end, piece);
    // A step on constants is monotone in the level, so over a piece the
    // click drive is largest at one end. A NaN counts as current.
    clickCurrent = clickCurrent || !(stretch_.clickLevel[k] * clickGain < kClickDriveSurelyBelow) ||
                   !(stretch_.clickLevel[end - 1] * clickGain < kClickDriveSurelyBelow);
    k = end;
  }
  ampEnv_.FinishSteps(n, piece.level[0]);
  clickEnv_.FinishSteps(n, piece.level[1]);
  pitchEnv_.FinishSteps(n, piece.level[2]);
  tail_ = piece.tail;
  return clickCurrent;
}

bool DrumVoice::NoiseHeard(bool clickSilent) const {
  return !clickSilent || !settledSkipEnabled.load(std::memory_order_relaxed);
}

void DrumVoice::RunNoise(int n) {
  VoiceStretch& s = stretch_;
  // The noise and the high-pass input terms b * u - b * in do not depend
  // on the filters' outputs: worked out ahead of the recurrences.
  FillVoiceNoise(s, {noiseState_, highPass_.in, highPass_.b}, n);
  noiseState_ = s.noiseState[n - 1];
  highPass_.in = s.noiseLevel[n - 1];
  const double hpR = highPass_.r;
  const double lpG = lowPass_.g;
  const double lpR = lowPass_.r;
  float hpOut = highPass_.out;
  float lpOut = lowPass_.out;
  // g * in of the low-pass is the g * h of the step before: worked out once.
  double lpGIn = lpG * lowPass_.in;
  for (int k = 0; k < n; ++k) {
    hpOut = static_cast<float>(s.noiseTerm[k] - hpR * hpOut);
    const double gh = lpG * hpOut;
    lpOut = static_cast<float>(gh + lpGIn - lpR * lpOut);
    lpGIn = gh;
    s.noise[k] = lpOut;
  }
  highPass_.out = hpOut;
  lowPass_.in = hpOut;
  lowPass_.out = lpOut;
}

void DrumVoice::RenderStretch(float* out, int n) {
  VoiceStretch& s = stretch_;

  // The oscillator starts at the first sample past its start count and
  // stays on from there, as the count only grows.
  int live = 0;
  while (live < n && !(static_cast<double>(sampleCount_ + live) > oscStartCount_)) ++live;

  const bool clickCurrent = RunEnvelopes(n);
  // Without click current, and with a tail that hides the stages' signed
  // zeros, the click stage adds nothing to any frame. The tail only
  // shrinks: if it is zero anywhere, it is zero at the end.
  const bool clickSilent = !clickCurrent && s.tail[n - 1] != 0.0;

  // The filtered noise only reaches the output through the click stage:
  // while that is silent, its filters can wait for the stretch that needs
  // them.
  if (NoiseHeard(clickSilent)) {
    CatchUpNoise();
    RunNoise(n);
  } else {
    if (filterDebt_ == 0) debtNoiseState_ = noiseState_;
    noiseState_ = JumpNoiseState(noiseState_, static_cast<uint64_t>(n));
    filterDebt_ += static_cast<uint64_t>(n);
  }

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
                                       attack * attack,
                                       clickSilent};
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
  CatchUpNoise();
  CatchUpPhase();
}

void DrumVoice::CatchUpNoise() {
  if (filterDebt_ == 0) return;
  const NoiseFilterCoefficients filters = {highPass_.b, highPass_.r, lowPass_.g, lowPass_.r};
  const NoiseFilterValues values = {highPass_.in, highPass_.out, lowPass_.in, lowPass_.out};
  const NoiseFilterValues now = CatchUpNoiseFilters(filters, values, debtNoiseState_, filterDebt_, stretch_);
  highPass_.in = now.highPassIn;
  highPass_.out = now.highPassOut;
  lowPass_.in = now.lowPassIn;
  lowPass_.out = now.lowPassOut;
  filterDebt_ = 0;
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

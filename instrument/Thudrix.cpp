#include "instrument/Thudrix.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "graphics/Editor.h"
#include "instrument/MidiLearnTable.h"
#include "instrument/voice/VoiceStages.h"

// The voice numbers its settings as the parameters carry them.
static_assert(int(kParamPitch) == int(kVoicePitch));
static_assert(int(kParamAccent) == int(kVoiceAccent));
static_assert(int(kParamDecay) == int(kVoiceDecay));
static_assert(int(kParamTuneDecay) == int(kVoiceTuneDecay));
static_assert(int(kParamAttack) == int(kVoiceAttack));
static_assert(int(kParamHold) == int(kVoiceHold));
static_assert(int(kParamTuneDepth) == int(kVoiceTuneDepth));
static_assert(int(kParamNoiseDecay) == int(kVoiceNoiseDecay));
static_assert(int(kParamDistort) == int(kVoiceDistort));
static_assert(int(kParamMidiTuneFlag) == int(kVoiceMidiTuneFlag));
static_assert(int(kParamMidiAccentFlag) == int(kVoiceMidiAccentFlag));
static_assert(int(kThudrixParamCount) > int(kVoiceSettingCount));

namespace {

PlugConfig ThudrixConfig() {
  PlugConfig config;
  config.paramCount = kThudrixParamCount;
  config.channelSpec = "0-1 0-2";
  config.presetCount = 0;
  config.effectName = "Tarvolin Thudra";
  config.productName = "";
  config.makerName = "Tarvolin Instruments";
  config.version = 0x00010000;
  config.uniqueId = FourCharCode("Tdr2");
  config.makerId = FourCharCode("-TV-");
  config.isInstrument = true;
  config.presetSavedParams = kPresetSavedParams;
  config.presetLoadedParams = kPresetLoadedParams;
  return config;
}

constexpr int kStatusNoteOn = 0x9;
constexpr int kStatusControlChange = 0xB;

}  // namespace

Thudrix::Thudrix(VstHostCallback hostCallback) : PlugVst2(ThudrixConfig(), hostCallback) {
  std::fill(std::begin(controls_), std::end(controls_), -1);
  DefineParameters();
  BuildEditor();
  ledLit_ = 0;
  samplesSinceHit_ = 0;
  learnMode_ = 0;
  clearMode_ = 0;
  LoadStartupPreset();
  // Ready at the framework's default rate and block size: some hosts
  // process before sending either.
  ResetProcessing();
}

Thudrix::~Thudrix() = default;

void Thudrix::DefineParameters() {
  for (const ThudrixParamRow& row : kThudrixParams) {
    PlugParam* param = ParamAt(row.index);
    switch (row.values) {
      case ParamValues::Number:
        param->DefineDouble(row.name, row.defaultValue, row.min, row.max, row.step, row.label);
        break;
      case ParamValues::Toggle:
        param->DefineBool(row.name, row.label);
        break;
      case ParamValues::Steps:
        param->DefineEnum(row.name, int32_t(row.max) + 1, row.label);
        break;
      case ParamValues::Undefined:
        break;
    }
  }
}

void Thudrix::SetEditorControl(int32_t controlIndex, double value) {
  if (Editor* editor = GetEditor()) editor->SetControlValue(controlIndex, value);
}

void Thudrix::Activated(bool active) {
  // The widest lanes are not the fastest on every processor. Timed when a
  // host first switches an instance on, not when it makes one: a plug-in
  // scan makes instances that never play.
  if (active) ChooseVoiceLanesByTiming();
  PlugVst2::Activated(active);
}

void Thudrix::ResetProcessing() {
  LockHold hold(InstanceLock());
  voice_.SetSampleRate(SampleRate());
  midiQueue_.ResizeForBlock(BlockSize());
}

void Thudrix::LightLed() {
  ledLit_ = 1;
  SetEditorControl(controls_[kParamLed], 1.0);
  samplesSinceHit_ = 0;
}

void Thudrix::HitFromNote(const MidiMsg& msg) {
  voice_.SetNote(msg.data1);
  voice_.SetMidiAccent(double(msg.data2) * 0.0078125);
  voice_.Trigger();
  LightLed();
}

// Renders the voice for frames samples at half level into out (if any).
void Thudrix::RenderVoice(double* out, int32_t frames) {
  constexpr int32_t kPiece = 256;
  float piece[kPiece];
  while (frames > 0) {
    const int32_t n = frames < kPiece ? frames : kPiece;
    voice_.Render(piece, n);
    if (out) {
      HalveIntoDoubles(piece, out, n);
      out += n;
    }
    frames -= n;
  }
}

void Thudrix::RenderBlock(double**, double** outputs, int32_t frames) {
  double* left = outputs ? outputs[0] : nullptr;
  double* right = outputs ? outputs[1] : nullptr;
  midiQueue_.Sort();
  int32_t s = 0;
  while (s < frames) {
    // Messages due at or before s act before sample s.
    while (!midiQueue_.Empty() && midiQueue_.Peek().offset <= s) {
      const MidiMsg& msg = midiQueue_.Peek();
      // A note-on with velocity 0 is how running status ends a note.
      if (msg.StatusKind() == kStatusNoteOn && msg.data2 > 0) HitFromNote(msg);
      midiQueue_.Remove();
    }
    int32_t end = frames;
    if (!midiQueue_.Empty() && midiQueue_.Peek().offset < end) end = midiQueue_.Peek().offset;
    RenderVoice(left ? left + s : nullptr, end - s);
    const int32_t rendered = end - s;
    samplesSinceHit_ = samplesSinceHit_ < INT32_MAX - rendered ? samplesSinceHit_ + rendered : INT32_MAX;
    s = end;
  }
  if (left && right) {
    std::memmove(right, left, sizeof(double) * static_cast<size_t>(frames > 0 ? frames : 0));
  }
  if (samplesSinceHit_ > kLedHoldSamples && ledLit_ == 1) {
    ledLit_ = 0;
    SetEditorControl(controls_[kParamLed], 0.0);
  }
  midiQueue_.Flush(frames > 0 ? frames : 0);
}

void Thudrix::HandleMidiMessage(const MidiMsg& msg) {
  midiQueue_.Add(msg);
  if (msg.StatusKind() != kStatusControlChange) return;
  const int32_t controller = msg.data1;
  MidiLearnTable& table = MidiLearnTable::Shared();
  if (learnMode_ == 1) table.Learn(controller, learnTarget_);
  const int32_t index = table.ParamFor(controller);
  if (index < 0) return;
  const double x = double(msg.data2) / 127.0;
  char text[PlugParam::kTextCapacity];
  ParamAt(index)->DisplayTextForHost(x, true, text, true);
  ShowValueText(text);
  ParamFromController(index, x);
}

int32_t Thudrix::ReadState(const StateChunk& chunk, int32_t pos) {
  LockHold hold(InstanceLock());
  // A state saved while the pad or an arrow was held would otherwise fire a
  // hit or load another preset over the values just restored.
  restoringState_ = true;
  const int32_t next = PlugVst2::ReadState(chunk, pos);
  restoringState_ = false;
  return next;
}

void Thudrix::TurnOffSwitch(int32_t index) {
  ParamAt(index)->SetValue(0.0);
  SetEditorControl(controls_[index], 0.0);
  HostAutomateLater(index);
}

// The pad and the arrows act on the edge into 1 and then read back 0, so a
// saved project never holds a press. A host value stays one press until the
// host sends a value under it (a slider dragged through 0.5..1 steps once).
void Thudrix::PressChanged(int32_t index, double value) {
  bool& held = pressHeld_[index];
  if (value != 1.0) {
    held = false;
    return;
  }
  ParamAt(index)->SetValue(0.0);
  HostAutomateLater(index);
  if (restoringState_ || held) return;
  held = true;
  if (index == kParamTrigger) {
    voice_.SetNote(kBaseNote);
    voice_.Trigger();
    LightLed();
  } else {
    // The preset file is read later, outside the lock and off the audio
    // thread; only the press is recorded here.
    const int32_t direction = index == kParamPresetNext ? 1 : -1;
    pendingPresetSteps_ = std::clamp(pendingPresetSteps_ + direction, -kMaxPendingSteps, kMaxPendingSteps);
  }
}

void Thudrix::ParamFromEditor(int32_t index, double normalized) {
  {
    LockHold hold(InstanceLock());
    // Every click on the pad or an arrow is a new press.
    if (ValidThudrixParam(index) && ParamRow(index).press) pressHeld_[index] = false;
    PlugVst2::ParamFromEditor(index, normalized);
  }
  // Clicks come on the UI thread; inside effEditIdle the lock is still held
  // and the step waits until the idle call lets go of it.
  if (!InstanceLock().HeldByCaller()) RunDeferredWork();
}

void Thudrix::RunDeferredWork() {
  int32_t steps = 0;
  {
    LockHold hold(InstanceLock());
    steps = std::exchange(pendingPresetSteps_, 0);
  }
  if (steps != 0) StepPresetFromArrows(steps);
}

void Thudrix::ParamChanged(int32_t index) {
  LockHold hold(InstanceLock());
  PlugParam* param = ParamAt(index);
  if (!param) return;
  const double value = param->Value();
  const int32_t clearOnEntry = clearMode_;
  if (clearOnEntry == 1) MidiLearnTable::Shared().Set(index, -1);

  const ThudrixParamRow& row = ParamRow(index);
  if (row.voice) {
    voice_.ApplyParam(index, value);
    if (learnMode_ != 0 && row.midiLearn) learnTarget_ = index;
    return;
  }
  if (row.press) {
    PressChanged(index, value);
    return;
  }
  switch (index) {
    case kParamLearn:
      learnMode_ = int32_t(value);
      if (learnMode_ == 1 && clearOnEntry == 1) {
        TurnOffSwitch(kParamClear);
        clearMode_ = 0;
      }
      break;
    case kParamClear:
      clearMode_ = int32_t(value);
      if (learnMode_ == 1 && clearMode_ == 1) {
        TurnOffSwitch(kParamLearn);
        learnMode_ = 0;
      }
      break;
    default:
      break;
  }
}

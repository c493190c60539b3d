#pragma once
#include <cstdint>

#include "instrument/voice/DrumVoice.h"
#include "plugin/MidiQueue.h"
#include "vst2/PlugVst2.h"

class TextControl;
class PresetFunctionsMenu;

// Parameter indices, in host order.
enum ThudrixParam : int32_t {
  kParamPitch = 0,
  kParamAccent,
  kParamDecay,
  kParamTuneDecay,
  kParamAttack,
  kParamHold,
  kParamTuneDepth,
  kParamNoiseDecay,
  kParamDistort,
  kParamMidiTuneFlag,
  kParamMidiAccentFlag,
  kParamLearn,
  kParamClear,
  kParamTrigger,
  kParamLed,
  kParamPresetPrevious,
  kParamPresetNext,
  kThudrixParamCount
};

// The instrument: one drum voice played sample-accurately from MIDI, with
// MIDI learn and an editor.
class Thudrix : public PlugVst2 {
public:
  static constexpr int32_t kBaseNote = 33;  // the trigger pad's note (55 Hz)
  static constexpr int32_t kLedHoldSamples = 10000;

  explicit Thudrix(VstHostCallback hostCallback);
  ~Thudrix() override;

  void ResetProcessing() override;
  void ParamChanged(int32_t index) override;
  void RenderBlock(double** inputs, double** outputs, int32_t frames) override;
  void HandleMidiMessage(const MidiMsg& msg) override;
  int32_t ReadState(const StateChunk& chunk, int32_t pos) override;
  void ParamFromEditor(int32_t index, double normalized) override;
  void RunDeferredWork() override;

  DrumVoice& Voice() { return voice_; }
  MidiQueue& Queue() { return midiQueue_; }
  bool LearnMode() const { return learnMode_ != 0; }
  bool ClearMode() const { return clearMode_ != 0; }
  bool LedLit() const { return ledLit_ != 0; }
  int32_t LearnTarget() const { return learnTarget_; }
  TextControl* ValueText() const { return valueText_; }
  PresetFunctionsMenu* PresetMenu() const { return presetMenu_; }

private:
  void DefineParameters();
  void BuildEditor();
  void LoadStartupPreset();
  void HitFromNote(const MidiMsg& msg);
  void RenderVoice(double* out, int32_t frames);
  void LightLed();
  void SetEditorControl(int32_t controlIndex, double value);
  void ShowValueText(const char* text);
  // Steps the preset list by steps (negative: backwards) and loads the
  // preset reached; reads the file, so it runs without the lock.
  void StepPresetFromArrows(int32_t steps);
  static bool IsPress(int32_t index);
  bool& PressHeld(int32_t index);
  void PressChanged(int32_t index, double value);
  void TurnOffSwitch(int32_t index, int32_t controlIndex);

  static constexpr int32_t kMaxPendingSteps = 64;

  DrumVoice voice_;
  MidiQueue midiQueue_{1024, 1024};
  TextControl* valueText_ = nullptr;
  PresetFunctionsMenu* presetMenu_ = nullptr;
  int32_t learnMode_ = 0;
  int32_t clearMode_ = 0;
  int32_t ledLit_ = 0;
  int32_t samplesSinceHit_ = 0;
  int32_t learnButton_ = -1;
  int32_t clearButton_ = -1;
  int32_t learnTarget_ = -1;
  int32_t knobs_[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
  int32_t tuneSwitch_ = -1;
  int32_t accentSwitch_ = -1;
  int32_t led_ = -1;
  int32_t pad_ = -1;
  // While a saved state is restored, the momentary controls (pad, preset
  // arrows) take their stored values without acting on them.
  bool restoringState_ = false;
  bool pressHeld_[3] = {false, false, false};  // pad, previous, next
  int32_t pendingPresetSteps_ = 0;  // arrow presses not yet carried out
};

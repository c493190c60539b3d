#pragma once
#include <cstdint>

#include "instrument/ThudrixParams.h"
#include "instrument/voice/DrumVoice.h"
#include "plugin/MidiQueue.h"
#include "vst2/PlugVst2.h"

class TextControl;
class PresetFunctionsMenu;

// The instrument: one drum voice played sample-accurately from MIDI, with
// MIDI learn and an editor.
class Thudrix : public PlugVst2 {
public:
  static constexpr int32_t kBaseNote = 33;  // the trigger pad's note (55 Hz)
  static constexpr int32_t kLedHoldSamples = 10000;

  explicit Thudrix(VstHostCallback hostCallback);
  ~Thudrix() override;

  void ResetProcessing() override;
  void Activated(bool active) override;
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
  void PressChanged(int32_t index, double value);
  void TurnOffSwitch(int32_t index);

  static constexpr int32_t kMaxPendingSteps = 64;

  DrumVoice voice_;
  MidiQueue midiQueue_{1024, 1024};
  TextControl* valueText_ = nullptr;
  PresetFunctionsMenu* presetMenu_ = nullptr;
  int32_t learnMode_ = 0;
  int32_t clearMode_ = 0;
  int32_t ledLit_ = 0;
  int32_t samplesSinceHit_ = 0;
  int32_t learnTarget_ = -1;
  int32_t controls_[kThudrixParamCount];  // each parameter's editor control, or -1
  // While a saved state is restored, the momentary controls (pad, preset
  // arrows) take their stored values without acting on them.
  bool restoringState_ = false;
  bool pressHeld_[kThudrixParamCount] = {};  // by parameter; only presses use theirs
  int32_t pendingPresetSteps_ = 0;           // arrow presses not yet carried out
};

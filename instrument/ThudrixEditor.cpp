// The instrument's editor: twenty controls on the panel, wired to the
// parameters, and the preset browser with its arrows.
#include "graphics/Controls.h"
#include "graphics/Editor.h"
#include "graphics/PlatformEditor.h"
#include "instrument/Thudrix.h"
#include "presets/PresetBrowser.h"

namespace {

struct ImageInfo {
  int32_t id;
  const char* name;
  int32_t frames;
};

constexpr ImageInfo kBackground{102, "resources/img/backgroundPro.png", 1};
constexpr ImageInfo kKnob{101, "resources/img/knobthd_64Frames.png", 64};
constexpr ImageInfo kPad{103, "resources/img/triggerthd.png", 2};
constexpr ImageInfo kMidiSwitch{104, "resources/img/kyb.png", 2};
constexpr ImageInfo kLed{105, "resources/img/led.png", 2};
constexpr ImageInfo kLearn{106, "resources/img/learn.png", 2};
constexpr ImageInfo kClear{107, "resources/img/clear.png", 2};
constexpr ImageInfo kPresetLeft{108, "resources/img/presetLeft.png", 2};
constexpr ImageInfo kPresetRight{109, "resources/img/presetRight.png", 2};

struct Position {
  int32_t x;
  int32_t y;
};

// Knobs in parameter order: Pitch, Accent, Decay / TuneDecay, Attack, Hold /
// TuneDepth, NoiseDecay, Distort.
constexpr Position kKnobPositions[9] = {{95, 127},  {245, 127}, {395, 127}, {95, 217}, {245, 217},
                                        {395, 217}, {95, 308},  {245, 308}, {395, 308}};
constexpr double kKnobGearing = 4.0;
constexpr PixelRect kPresetStrip{207, 21, 383, 37};
constexpr ArgbColor kPresetStripColor{255, 0, 0, 255};
constexpr PixelRect kValueReadout{496, 347, 544, 359};

constexpr BlendSpec kAlphaBlend{kBlendAlphaCopy, 1.0f};

// Verdana 12, black, centred (the defaults), drawn without antialiasing.
TextStyle ValueTextStyle() {
  TextStyle style;
  style.quality = kQualityNonAntialiased;
  return style;
}

BitmapStrip Load(Editor& editor, const ImageInfo& image) {
  return editor.LoadStripBitmap(image.id, image.name, image.frames);
}

}  // namespace

void Thudrix::BuildEditor() {
  Editor* editor = CreateInstrumentEditor(this, Editor::kDefaultWidth, Editor::kDefaultHeight, Editor::kDefaultFrameRate);
  if (!editor) return;
  editor->AddBackground(kBackground.id, kBackground.name);

  const BitmapStrip knob = Load(*editor, kKnob);
  for (int32_t i = 0; i < 9; ++i) {
    knobs_[i] = editor->AddControl(new KnobStripControl(this, kKnobPositions[i].x, kKnobPositions[i].y, kParamPitch + i,
                                                        knob, kKnobVertical, kKnobGearing, kAlphaBlend));
  }
  const BitmapStrip midiSwitch = Load(*editor, kMidiSwitch);
  tuneSwitch_ = editor->AddControl(new SwitchControl(this, 34, 170, kParamMidiTuneFlag, midiSwitch, kAlphaBlend));
  accentSwitch_ = editor->AddControl(new SwitchControl(this, 184, 170, kParamMidiAccentFlag, midiSwitch, kAlphaBlend));
  pad_ = editor->AddControl(new ContactControl(this, 480, 100, kParamTrigger, Load(*editor, kPad), kAlphaBlend));
  learnButton_ = editor->AddControl(new SwitchControl(this, 498, 236, kParamLearn, Load(*editor, kLearn), kAlphaBlend));
  clearButton_ = editor->AddControl(new SwitchControl(this, 521, 236, kParamClear, Load(*editor, kClear), kAlphaBlend));
  led_ = editor->AddControl(new NonClickable(this, Load(*editor, kLed)));
  presetMenu_ = new PresetFunctionsMenu(this, kPresetStrip, kPresetStripColor);
  if (editor->AddControl(presetMenu_) < 0) presetMenu_ = nullptr;
  editor->AddControl(new ContactControl(this, 172, 18, kParamPresetPrevious, Load(*editor, kPresetLeft), kAlphaBlend));
  editor->AddControl(new ContactControl(this, 386, 18, kParamPresetNext, Load(*editor, kPresetRight), kAlphaBlend));

  // The read-out is the last control, so it is drawn on top of everything.
  valueText_ = new TextControl(this, kValueReadout, ValueTextStyle(), "0");
  if (editor->AddControl(valueText_) < 0) valueText_ = nullptr;
  const int32_t shown[] = {knobs_[0], knobs_[1], knobs_[2], knobs_[3], knobs_[4],   knobs_[5],
                           knobs_[6], knobs_[7], knobs_[8], tuneSwitch_, accentSwitch_};
  for (int32_t index : shown)
    if (Control* control = editor->ControlAt(index)) control->SetValueDisplay(valueText_);

  SetEditor(editor);
}

void Thudrix::LoadStartupPreset() { SelectStartupPreset(*this, presetMenu_); }

void Thudrix::ShowValueText(const char* text) {
  if (valueText_) valueText_->SetText(text);
}

void Thudrix::StepPresetFromArrows(int32_t steps) { StepPreset(*this, presetMenu_, steps); }

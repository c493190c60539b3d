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

// The control a parameter row asks for, at the row's position.
Control* ParamControlFor(PlugBase* plug, Editor& editor, const ThudrixParamRow& row) {
  const int32_t x = row.x;
  const int32_t y = row.y;
  switch (row.control) {
    case ParamControl::Knob:
      return new KnobStripControl(plug, x, y, row.index, Load(editor, kKnob), kKnobVertical, kKnobGearing, kAlphaBlend);
    case ParamControl::MidiSwitch:
      return new SwitchControl(plug, x, y, row.index, Load(editor, kMidiSwitch), kAlphaBlend);
    case ParamControl::LearnButton:
      return new SwitchControl(plug, x, y, row.index, Load(editor, kLearn), kAlphaBlend);
    case ParamControl::ClearButton:
      return new SwitchControl(plug, x, y, row.index, Load(editor, kClear), kAlphaBlend);
    case ParamControl::Pad:
      return new ContactControl(plug, x, y, row.index, Load(editor, kPad), kAlphaBlend);
    case ParamControl::HitLight:
      return new NonClickable(plug, x, y, row.index, Load(editor, kLed));
    case ParamControl::PresetLeft:
      return new ContactControl(plug, x, y, row.index, Load(editor, kPresetLeft), kAlphaBlend);
    case ParamControl::PresetRight:
      return new ContactControl(plug, x, y, row.index, Load(editor, kPresetRight), kAlphaBlend);
    case ParamControl::None:
      break;
  }
  return nullptr;
}

// Knobs and the MIDI switches show the value they are set to in the read-out.
bool ShowsValue(ParamControl control) { return control == ParamControl::Knob || control == ParamControl::MidiSwitch; }

}  // namespace

void Thudrix::BuildEditor() {
  Editor* editor =
      CreateInstrumentEditor(this, Editor::kDefaultWidth, Editor::kDefaultHeight, Editor::kDefaultFrameRate);
  if (!editor) return;
  editor->AddBackground(kBackground.id, kBackground.name);

  for (const ThudrixParamRow& row : kThudrixParams) {
    if (Control* control = ParamControlFor(this, *editor, row)) controls_[row.index] = editor->AddControl(control);
  }
  presetMenu_ = new PresetFunctionsMenu(this, kPresetStrip, kPresetStripColor);
  if (editor->AddControl(presetMenu_) < 0) presetMenu_ = nullptr;

  // The read-out is the last control, so it is drawn on top of everything.
  valueText_ = new TextControl(this, kValueReadout, ValueTextStyle(), "0");
  if (editor->AddControl(valueText_) < 0) valueText_ = nullptr;
  for (const ThudrixParamRow& row : kThudrixParams) {
    if (!ShowsValue(row.control)) continue;
    if (Control* control = editor->ControlAt(controls_[row.index])) control->SetValueDisplay(valueText_);
  }

  SetEditor(editor);
}

void Thudrix::LoadStartupPreset() { SelectStartupPreset(*this, presetMenu_); }

void Thudrix::ShowValueText(const char* text) {
  if (valueText_) valueText_->SetText(text);
}

void Thudrix::StepPresetFromArrows(int32_t steps) { StepPreset(*this, presetMenu_, steps); }

#include "graphics/Control.h"

#include <cmath>

#include "graphics/Controls.h"
#include "graphics/Editor.h"
#include "plugin/PlugBase.h"

namespace {

constexpr double kWheelStep = 0.01;
constexpr double kFineWheelStep = 0.001;

}  // namespace

Control::Control(PlugBase* plug, const PixelRect& rect, int32_t paramIndex, const BlendSpec& blend)
    : plug_(plug), rect_(rect), targetRect_(rect), paramIndex_(paramIndex), blend_(blend) {}

Control::~Control() = default;

void Control::MouseDown(int32_t, int32_t, const MouseMods& mods) {
  if (mods.right) PromptForValue();
}

void Control::MouseUp(int32_t, int32_t, const MouseMods&) {}

void Control::MouseDrag(int32_t, int32_t, int32_t, int32_t, const MouseMods&) {}

void Control::DoubleClick(int32_t, int32_t, const MouseMods&) {
  if (!(defaultValue_ >= 0.0)) return;
  value_ = defaultValue_;
  MarkDirty(true);
}

void Control::Wheel(int32_t, int32_t, const MouseMods& mods, int32_t steps) {
  const double step = (mods.control || mods.shift) ? kFineWheelStep : kWheelStep;
  value_ += steps * step;
  MarkDirty(true);
}

bool Control::KeyDown(int32_t, int32_t, int32_t) { return false; }

void Control::MouseOver(int32_t, int32_t, const MouseMods&) {}

void Control::MouseOut() {}

void Control::ValueFromPlug(double value) {
  // A non-number from the plug-in is not a value any frame can show.
  if (std::isnan(value)) return;
  if (defaultValue_ < 0.0) {
    // The first value pushed becomes the double-click default.
    value_ = value;
    defaultValue_ = value;
    return;
  }
  if (StoreChangedValue(value)) {
    MarkDirty(false);
    pendingRedraw_ = true;
  }
}

void Control::TextEntered(const char*) {}

void Control::SetHidden(bool hide) {
  hidden_ = hide;
  pendingRedraw_ = true;
  MarkDirty(false);
}

void Control::SetGrayed(bool gray) {
  grayed_ = gray;
  blend_.weight = gray ? kGrayedWeight : 1.0f;
  MarkDirty(false);
}

bool Control::HitTest(int32_t x, int32_t y) {
  if (targetRect_.IsEmpty()) return false;
  return targetRect_.Contains(x, y);
}

void Control::MarkDirty(bool pushToPlug) {
  if (value_ < clampLow_) {
    value_ = clampLow_;
  } else if (!(value_ < clampHigh_)) {
    value_ = clampHigh_;
  }
  needsDraw_ = true;
  if (!pushToPlug || !plug_ || paramIndex_ < 0) return;

  plug_->ParamFromEditor(paramIndex_, value_);
  const PlugParam* param = BoundParam();
  if (!param) return;
  if (valueDisplay_) {
    char shown[PlugParam::kTextCapacity] = {};
    param->DisplayTextForHost(param->Value(), false, shown, true);
    valueDisplay_->SetText(shown);
  }
  if (nameDisplay_) nameDisplay_->SetText(param->Name());
}

void Control::MarkDrawn() {
  needsDraw_ = pendingRedraw_;
  pendingRedraw_ = false;
}

bool Control::NeedsDraw() { return needsDraw_; }

void Control::AuxValueFromPlug(int32_t auxIndex, double value) {
  if (auxIndex < 0 || auxIndex >= AuxParamCount() || std::isnan(value)) return;
  AuxParam& entry = auxParams_.As<AuxParam>()[auxIndex];
  if (entry.value == value) return;
  entry.value = value;
  MarkDirty(false);
  pendingRedraw_ = true;
}

void Control::SetValueFromUser(double value) {
  if (std::isnan(value) || !StoreChangedValue(value)) return;
  MarkDirty(true);
  pendingRedraw_ = true;
}

void Control::PromptForValue() {
  if (paramIndex_ < 0 || promptDisabled_) return;
  PlugParam* param = BoundParam();
  Editor* editor = OwningEditor();
  if (param && editor) {
    PixelRect promptRect = rect_;
    if (param->DisplayTextCount() == 0) {
      // A small entry box centred on the control.
      const int32_t cx = int32_t((double(rect_.left) + rect_.right) * 0.5);
      const int32_t cy = int32_t((double(rect_.top) + rect_.bottom) * 0.5);
      promptRect = {cx - 15, cy - 8, cx + 15, cy + 8};
    }
    editor->PromptParamValue(this, param, promptRect);
  }
  pendingRedraw_ = true;
}

bool Control::AddAuxParam(int32_t paramIndex) {
  const AuxParam entry{0.0, paramIndex};
  return auxParams_.Append(&entry, int32_t(sizeof(entry)));
}

int32_t Control::AuxParamCount() const { return auxParams_.Size() / int32_t(sizeof(AuxParam)); }

const AuxParam* Control::AuxParamAt(int32_t auxIndex) const {
  if (auxIndex < 0 || auxIndex >= AuxParamCount()) return nullptr;
  return &auxParams_.As<AuxParam>()[auxIndex];
}

int32_t Control::FindAuxParam(int32_t paramIndex) const {
  for (int32_t i = 0; i < AuxParamCount(); ++i) {
    if (auxParams_.As<AuxParam>()[i].paramIndex == paramIndex) return i;
  }
  return -1;
}

PlugParam* Control::BoundParam() const {
  if (!plug_ || paramIndex_ < 0) return nullptr;
  return plug_->ParamAt(paramIndex_);
}

bool Control::StoreChangedValue(double value) {
  if (value == value_) return false;
  value_ = value;
  return true;
}

Editor* Control::OwningEditor() const { return plug_ ? plug_->GetEditor() : nullptr; }

#include "graphics/Editor.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "graphics/Controls.h"
#include "graphics/PopupMenu.h"
#include "plugin/PlugBase.h"
#include "raster/RasterBitmap.h"

namespace {

int32_t SaturatedDifference(int32_t a, int32_t b) {
  const int64_t difference = int64_t(a) - b;
  if (difference > INT32_MAX) return INT32_MAX;
  if (difference < INT32_MIN) return INT32_MIN;
  return int32_t(difference);
}

// The number a text entry starts with: the natural value as the host shows
// it, without display texts.
void FormatEntryValue(const PlugParam& param, char* out, size_t capacity) {
  double value = param.Value();
  if (param.NegateDisplay()) value = -value;
  if (param.Precision() > 0) {
    std::snprintf(out, capacity, "%.*f", int(param.Precision()), value);
    return;
  }
  int32_t whole = 0;
  if (value >= double(INT32_MAX)) {
    whole = INT32_MAX;
  } else if (value <= double(INT32_MIN)) {
    whole = INT32_MIN;
  } else if (!std::isnan(value)) {
    whole = int32_t(value);
  }
  std::snprintf(out, capacity, "%d", int(whole));
}

bool UsesValueMenu(const PlugParam& param) {
  return param.Kind() == ParamKind::Enum || (param.Kind() == ParamKind::Bool && param.DisplayTextCount() > 0);
}

}  // namespace

Editor::Editor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate)
    : plug_(plug), width_(width), height_(height), frameRate_(frameRate) {}

Editor::~Editor() {
  keyCatcher_.reset();
  controls_.Clear();
  drawBitmap_.reset();
  scratchBitmap_.reset();
}

bool Editor::MeasureText(TextStyle& style, const char* text, PixelRect& rect) {
  return DrawText(style, text, rect, true);
}

void Editor::Resize(int32_t width, int32_t height) {
  width_ = width;
  height_ = height;
  ReleaseMouseCapture();
  hoveredControl_ = -1;
  controls_.Clear();
  ++controlsGeneration_;
  drawBitmap_.reset();
  scratchBitmap_.reset();
  PrepareDrawing();
  if (plug_) plug_->ResizeEditor(width, height);
}

bool Editor::HasWindow() { return EditorWindow() != nullptr; }

void Editor::AskForFileLater(int32_t action, const std::string& folder, const char* extensions, FileAnswer done) {
  TextBuf file;
  TextBuf startFolder;
  startFolder.Set(folder.c_str());
  AskForFile(file, action, startFolder, extensions);
  if (done) done(file.Get());
}

void Editor::ShowMessageLater(const char* text, const char* caption, int32_t type, MessageAnswer done) {
  const int32_t answer = ShowMessage(text, caption, type);
  if (done) done(answer);
}

const char* Editor::PlatformLabel() { return ""; }

void* Editor::PlatformQuery() { return nullptr; }

int32_t Editor::AddControl(Control* control) {
  if (!control) return -1;
  for (int32_t i = 0; i < controls_.Count(); ++i) {
    if (controls_.Get(i) == control) return i;  // owned once
  }
  if (control == keyCatcher_.get() || !controls_.Add(control)) {
    if (control != keyCatcher_.get()) delete control;
    return -1;
  }
  return controls_.Count() - 1;
}

void Editor::AddBackground(int32_t id, const char* name) {
  const BitmapStrip strip = LoadStripBitmap(id, name, 1);
  auto* background = new BitmapControl(plug_, 0, 0, -1, strip, BlendSpec{kBlendOpaque, 1.0f});
  if (!controls_.Insert(0, background)) {
    delete background;
    return;
  }
  if (capturedControl_ >= 0) ++capturedControl_;
}

void Editor::SetKeyCatcher(Control* control) {
  for (int32_t i = 0; i < controls_.Count(); ++i) {
    if (controls_.Get(i) == control) return;  // the list already owns it
  }
  if (control == keyCatcher_.get()) return;
  keyCatcher_.reset(control);
}

void Editor::ParamToControls(int32_t index, double value, bool isNormalized) {
  if (!isNormalized) {
    const PlugParam* param = plug_ ? plug_->ParamAt(index) : nullptr;
    if (!param) return;
    value = param->Normalize(value);
  }
  for (int32_t i = 0; i < controls_.Count(); ++i) {
    Control* control = controls_.Get(i);
    if (control->ParamIndex() == index) control->ValueFromPlug(value);
    if (control->AuxParamCount() > 0) {
      const int32_t aux = control->FindAuxParam(index);
      if (aux >= 0) control->AuxValueFromPlug(aux, value);
    }
  }
}

void Editor::SetControlValue(int32_t controlIndex, double value) {
  if (Control* control = controls_.Get(controlIndex)) control->ValueFromPlug(value);
}

void Editor::PromptParamValue(Control* control, PlugParam* param, const PixelRect& rect) {
  if (!control || !param) return;
  if (!UsesValueMenu(*param)) {
    char text[64];
    FormatEntryValue(*param, text, sizeof(text));
    BeginTextEntry(control, control->Style(), rect, text, param);
    return;
  }

  char current[PlugParam::kTextCapacity] = {};
  param->DisplayTextForHost(param->Value(), false, current, true);
  PopupMenu menu;
  const int32_t count = param->DisplayTextCount();
  for (int32_t value = 0; value < count; ++value) {
    const DisplayText* entry = param->FindDisplayText(double(value));
    PopupMenuItem* item = menu.AddItem(entry ? entry->text : "");
    if (item && item->text.Equals(current)) item->flags |= kItemChecked;
  }
  const PopupMenu* chosen = RunPopupMenu(&menu, rect);
  if (chosen != &menu || menu.chosenItem < 0 || menu.chosenItem >= menu.ItemCount()) return;
  control->SetValueFromUser(param->Normalize(double(menu.chosenItem)));
}

bool Editor::CollectDirty(PixelRect& rect) {
  rect = PixelRect{};
  bool any = false;
  for (int32_t i = 0; i < controls_.Count(); ++i) {
    Control* control = controls_.Get(i);
    if (!control->NeedsDraw()) continue;
    any = true;
    rect = RectUnion(rect, control->Rect());
  }
  return any;
}

bool Editor::DrawControls(const PixelRect& rect) {
  if (controls_.Count() == 0) return true;
  clipRect_ = rect;
  for (int32_t i = 0; i < controls_.Count(); ++i) {
    Control* control = controls_.Get(i);
    if (!control->IsHidden() && RectsOverlap(rect, control->Rect())) control->Draw(this);
    control->MarkDrawn();
  }
  return PresentRect(rect);
}

int32_t Editor::HitControl(int32_t x, int32_t y) const {
  for (int32_t i = controls_.Count() - 1; i >= 0; --i) {
    Control* control = controls_.Get(i);
    if (!control->IsHidden() && !control->IsGrayed() && control->HitTest(x, y)) return i;
  }
  return -1;
}

int32_t Editor::CapturedOrHit(int32_t x, int32_t y) const {
  if (controls_.Get(capturedControl_)) return capturedControl_;
  return HitControl(x, y);
}

void Editor::ReleaseMouseCapture() {
  capturedControl_ = -1;
  lastMouseX_ = -1;
  lastMouseY_ = -1;
}

void Editor::NotifyEditBegin(int32_t paramIndex) {
  if (plug_ && plug_->ValidParam(paramIndex)) plug_->HostEditBegin(paramIndex);
}

void Editor::NotifyEditEnd(int32_t paramIndex) {
  if (plug_ && plug_->ValidParam(paramIndex)) plug_->HostEditEnd(paramIndex);
}

void Editor::HandleMouseDown(int32_t x, int32_t y, const MouseMods& mods) {
  ReleaseMouseCapture();
  const int32_t hit = HitControl(x, y);
  if (hit < 0) return;
  capturedControl_ = hit;
  lastMouseX_ = x;
  lastMouseY_ = y;
  Control* control = controls_.Get(hit);
  const uint32_t generation = controlsGeneration_;
  control->MouseDown(x, y, mods);
  // The press first, so a switch's new value reaches the plug-in before the
  // host hears that a gesture began.
  if (generation == controlsGeneration_) NotifyEditBegin(control->ParamIndex());
}

void Editor::HandleMouseUp(int32_t x, int32_t y, const MouseMods& mods) {
  const int32_t target = CapturedOrHit(x, y);
  ReleaseMouseCapture();
  Control* control = controls_.Get(target);
  if (!control) return;
  const uint32_t generation = controlsGeneration_;
  control->MouseUp(x, y, mods);
  if (generation == controlsGeneration_) NotifyEditEnd(control->ParamIndex());
}

void Editor::HandleMouseDrag(int32_t x, int32_t y, const MouseMods& mods) {
  Control* control = controls_.Get(capturedControl_);
  if (!control || (x == lastMouseX_ && y == lastMouseY_)) return;
  const int32_t dx = SaturatedDifference(x, lastMouseX_);
  const int32_t dy = SaturatedDifference(y, lastMouseY_);
  lastMouseX_ = x;
  lastMouseY_ = y;
  control->MouseDrag(x, y, dx, dy, mods);
}

bool Editor::HandleDoubleClick(int32_t x, int32_t y, const MouseMods& mods) {
  ReleaseMouseCapture();
  const int32_t hit = HitControl(x, y);
  Control* control = controls_.Get(hit);
  if (!control) return false;
  if (!control->DoubleClickAsPress()) {
    control->DoubleClick(x, y, mods);
    return false;
  }
  capturedControl_ = hit;
  lastMouseX_ = x;
  lastMouseY_ = y;
  control->MouseDown(x, y, mods);
  return true;
}

void Editor::HandleWheel(int32_t x, int32_t y, const MouseMods& mods, int32_t steps) {
  if (Control* control = controls_.Get(CapturedOrHit(x, y))) control->Wheel(x, y, mods, steps);
}

bool Editor::HandleKey(int32_t x, int32_t y, int32_t key) {
  const int32_t target = CapturedOrHit(x, y);
  // The background takes no keys of its own.
  if (target <= 0) return keyCatcher_ ? keyCatcher_->KeyDown(x, y, key) : false;
  return controls_.Get(target)->KeyDown(x, y, key);
}

#include "graphics/Controls.h"

#include "graphics/Editor.h"

namespace {

constexpr double kFineGearingFactor = 10.0;
// A switch stepped past its last frame (with rounding slack) wraps to 0.
constexpr double kSwitchWrapLimit = 1.001;

int32_t SafeFrames(const BitmapStrip& strip) { return strip.frames > 1 ? strip.frames : 1; }

}  // namespace

PixelRect StripFrameRect(int32_t x, int32_t y, const BitmapStrip& strip) {
  return {x, y, x + strip.width, y + strip.height / SafeFrames(strip)};
}

int32_t FrameForValue(double value, int32_t frames) {
  if (frames <= 1) return 1;
  const double position = (frames - 1) * value + 0.5;
  if (!(position >= 1.0)) return 1;  // also a non-number
  if (position >= double(frames)) return frames;
  return int32_t(position) + 1;
}

BitmapControl::BitmapControl(PlugBase* plug, int32_t x, int32_t y, int32_t paramIndex, const BitmapStrip& strip,
                             const BlendSpec& blend)
    : Control(plug, StripFrameRect(x, y, strip), paramIndex, blend), strip_(strip) {}

bool BitmapControl::Draw(Editor* editor) {
  if (!editor) return false;
  return editor->DrawStrip(strip_, rect_, FrameForValue(value_, strip_.frames), blend_);
}

void SwitchControl::MouseDown(int32_t, int32_t, const MouseMods&) {
  const double step = strip_.frames > 1 ? 1.0 / (strip_.frames - 1) : 1.0;
  value_ += step;
  if (value_ > kSwitchWrapLimit) value_ = 0.0;
  MarkDirty(true);
}

void SwitchControl::DoubleClick(int32_t x, int32_t y, const MouseMods& mods) { MouseDown(x, y, mods); }

void ContactControl::MouseDown(int32_t x, int32_t y, const MouseMods& mods) { SwitchControl::MouseDown(x, y, mods); }

void ContactControl::MouseUp(int32_t, int32_t, const MouseMods&) {
  value_ = 0.0;
  MarkDirty(true);
}

void ContactControl::DoubleClick(int32_t x, int32_t y, const MouseMods& mods) { MouseDown(x, y, mods); }

KnobControl::KnobControl(PlugBase* plug, const PixelRect& rect, int32_t paramIndex, int32_t direction, double gearing,
                         const BlendSpec& blend)
    : Control(plug, rect, paramIndex, blend), direction_(direction), gearing_(gearing) {}

KnobStripControl::KnobStripControl(PlugBase* plug, int32_t x, int32_t y, int32_t paramIndex, const BitmapStrip& strip,
                                   int32_t direction, double gearing, const BlendSpec& blend)
    : KnobControl(plug, StripFrameRect(x, y, strip), paramIndex, direction, gearing, blend), strip_(strip) {}

void KnobStripControl::MouseDrag(int32_t, int32_t, int32_t dx, int32_t dy, const MouseMods& mods) {
  double gearing = gearing_;
  if (mods.control || mods.shift) gearing *= kFineGearingFactor;
  const bool vertical = direction_ == kKnobVertical;
  // Up and right increase the value; rect top - bottom is minus the height.
  const double span = vertical ? double(rect_.top) - rect_.bottom : double(rect_.right) - rect_.left;
  const double delta = vertical ? dy : dx;
  // A knob without size or gearing has no travel to map the mouse onto.
  if (span == 0.0 || gearing == 0.0) return;
  value_ += delta / span / gearing;
  MarkDirty(true);
}

bool KnobStripControl::Draw(Editor* editor) {
  if (!editor) return false;
  return editor->DrawStrip(strip_, rect_, FrameForValue(value_, strip_.frames), blend_);
}

PanelControl::PanelControl(PlugBase* plug, const PixelRect& rect, const ArgbColor& color)
    : Control(plug, rect, -1, BlendSpec{}), color_(color) {}

bool PanelControl::Draw(Editor* editor) {
  if (editor) editor->FillRect(color_, rect_, blend_);
  return true;
}

TextControl::TextControl(PlugBase* plug, const PixelRect& rect, const TextStyle& style, const char* text)
    : Control(plug, rect, -1, BlendSpec{}) {
  textStyle_ = style;
  text_.Set(text ? text : "");
}

bool TextControl::Draw(Editor* editor) {
  if (text_.Empty()) return true;
  if (!editor) return false;
  return editor->DrawText(textStyle_, text_.Get(), rect_, false);
}

void TextControl::SetText(const char* text) {
  if (!text) text = "";
  if (text_.Equals(text)) return;
  MarkDirty(false);
  text_.Set(text);
}

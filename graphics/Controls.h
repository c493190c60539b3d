#pragma once
// The framework's concrete controls.
#include <cstdint>

#include "graphics/Control.h"
#include "base/TextBuf.h"

// One frame of a bitmap strip, chosen by the value.
class BitmapControl : public Control {
public:
  // The rect is (x, y, x + strip width, y + strip height / frames).
  BitmapControl(PlugBase* plug, int32_t x, int32_t y, int32_t paramIndex, const BitmapStrip& strip,
                const BlendSpec& blend);
  bool Draw(Editor* editor) override;

  const BitmapStrip& Strip() const { return strip_; }

protected:
  BitmapStrip strip_;
};

// Steps through its frames on every press and wraps to the first.
class SwitchControl : public BitmapControl {
public:
  using BitmapControl::BitmapControl;
  void MouseDown(int32_t x, int32_t y, const MouseMods& mods) override;
  void DoubleClick(int32_t x, int32_t y, const MouseMods& mods) override;
};

// A momentary switch: pressed steps like a switch, released returns to 0.
class ContactControl : public SwitchControl {
public:
  using SwitchControl::SwitchControl;
  void MouseDown(int32_t x, int32_t y, const MouseMods& mods) override;
  void MouseUp(int32_t x, int32_t y, const MouseMods& mods) override;
  void DoubleClick(int32_t x, int32_t y, const MouseMods& mods) override;
};

enum KnobDirection : int32_t { kKnobVertical = 0, kKnobHorizontal = 1 };

class KnobControl : public Control {
public:
  KnobControl(PlugBase* plug, const PixelRect& rect, int32_t paramIndex, int32_t direction, double gearing,
              const BlendSpec& blend);

  int32_t Direction() const { return direction_; }
  double Gearing() const { return gearing_; }

protected:
  int32_t direction_;  // 0 vertical, anything else horizontal
  double gearing_;     // knob sizes of mouse travel for the whole range
};

// A knob turned by dragging and drawn from a strip of frames.
class KnobStripControl : public KnobControl {
public:
  KnobStripControl(PlugBase* plug, int32_t x, int32_t y, int32_t paramIndex, const BitmapStrip& strip,
                   int32_t direction, double gearing, const BlendSpec& blend);
  void MouseDrag(int32_t x, int32_t y, int32_t dx, int32_t dy, const MouseMods& mods) override;
  bool Draw(Editor* editor) override;

  const BitmapStrip& Strip() const { return strip_; }

private:
  BitmapStrip strip_;
};

class PanelControl : public Control {
public:
  PanelControl(PlugBase* plug, const PixelRect& rect, const ArgbColor& color);
  bool Draw(Editor* editor) override;

  const ArgbColor& Color() const { return color_; }

protected:
  ArgbColor color_;
};

class TextControl : public Control {
public:
  TextControl(PlugBase* plug, const PixelRect& rect, const TextStyle& style, const char* text);
  bool Draw(Editor* editor) override;

  // Marks the control only when the text changes; null stores the empty text.
  void SetText(const char* text);
  const char* Text() const { return text_.Get(); }

protected:
  TextBuf text_;
};

// The rect a strip's frame occupies with its top-left corner at (x, y).
PixelRect StripFrameRect(int32_t x, int32_t y, const BitmapStrip& strip);
// The 1-based frame a value in 0..1 shows out of frames.
int32_t FrameForValue(double value, int32_t frames);

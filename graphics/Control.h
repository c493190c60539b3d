#pragma once
// The base of every editor control: a rectangle, an optional parameter
// binding, a normalised value and the flags that drive the redraw cycle.
#include <cstdint>

#include "graphics/GuiTypes.h"
#include "base/GrowBuf.h"

class Editor;
class PlugBase;
class PlugParam;
class TextControl;

struct AuxParam {
  double value;
  int32_t paramIndex;
};

class Control {
public:
  static constexpr int32_t kDefaultEntryLength = 7;

  Control(PlugBase* plug, const PixelRect& rect, int32_t paramIndex, const BlendSpec& blend);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Virtual operations, in the control's documented order; ReservedHook
  // keeps its slot. Nothing relies on the layout at run time: add new
  // operations at the end.
  virtual ~Control();
  virtual void MouseDown(int32_t x, int32_t y, const MouseMods& mods);
  virtual void MouseUp(int32_t x, int32_t y, const MouseMods& mods);
  virtual void MouseDrag(int32_t x, int32_t y, int32_t dx, int32_t dy, const MouseMods& mods);
  virtual void DoubleClick(int32_t x, int32_t y, const MouseMods& mods);
  virtual void Wheel(int32_t x, int32_t y, const MouseMods& mods, int32_t steps);
  virtual bool KeyDown(int32_t x, int32_t y, int32_t key);
  virtual void MouseOver(int32_t x, int32_t y, const MouseMods& mods);
  virtual void MouseOut();
  virtual bool Draw(Editor* editor) = 0;
  virtual void ValueFromPlug(double value);
  virtual void TextEntered(const char* text);
  virtual void SetHidden(bool hide);
  virtual void SetGrayed(bool gray);
  virtual bool HitTest(int32_t x, int32_t y);
  virtual void MarkDirty(bool pushToPlug);
  virtual void MarkDrawn();
  virtual bool NeedsDraw();
  virtual void ReservedHook() {}
  virtual void AuxValueFromPlug(int32_t auxIndex, double value);

  // A committed text entry: stores and pushes a changed value.
  void SetValueFromUser(double value);
  // Asks the editor for a new value of the bound parameter.
  void PromptForValue();

  // Auxiliary parameters; false when the entry could not be stored.
  bool AddAuxParam(int32_t paramIndex);
  int32_t AuxParamCount() const;
  // Null outside 0..count - 1.
  const AuxParam* AuxParamAt(int32_t auxIndex) const;
  // The first entry bound to paramIndex, or -1.
  int32_t FindAuxParam(int32_t paramIndex) const;

  PlugBase* Plug() const { return plug_; }
  // The bound parameter record, or null.
  PlugParam* BoundParam() const;
  const PixelRect& Rect() const { return rect_; }
  const PixelRect& TargetRect() const { return targetRect_; }
  void SetTargetRect(const PixelRect& rect) { targetRect_ = rect; }
  int32_t ParamIndex() const { return paramIndex_; }
  double Value() const { return value_; }
  double DefaultValue() const { return defaultValue_; }
  void SetDefaultValue(double value) { defaultValue_ = value; }
  void SetClampRange(double low, double high) {
    clampLow_ = low;
    clampHigh_ = high;
  }
  bool IsHidden() const { return hidden_; }
  bool IsGrayed() const { return grayed_; }
  bool PendingRedraw() const { return pendingRedraw_; }
  void SetPendingRedraw() { pendingRedraw_ = true; }
  bool PromptDisabled() const { return promptDisabled_; }
  void SetPromptDisabled(bool disabled) { promptDisabled_ = disabled; }
  bool DoubleClickAsPress() const { return doubleClickAsPress_; }
  void SetDoubleClickAsPress(bool asPress) { doubleClickAsPress_ = asPress; }
  const BlendSpec& Blend() const { return blend_; }
  TextStyle& Style() { return textStyle_; }
  void SetStyle(const TextStyle& style) { textStyle_ = style; }
  int32_t TextEntryLength() const { return textEntryLength_; }
  void SetTextEntryLength(int32_t length) { textEntryLength_ = length; }
  TextControl* ValueDisplay() const { return valueDisplay_; }
  void SetValueDisplay(TextControl* display) { valueDisplay_ = display; }
  TextControl* NameDisplay() const { return nameDisplay_; }
  void SetNameDisplay(TextControl* display) { nameDisplay_ = display; }

protected:
  // Stores value when it is a different number; true when it changed.
  bool StoreChangedValue(double value);
  // The editor attached to the plug-in, or null.
  Editor* OwningEditor() const;

  int32_t textEntryLength_ = kDefaultEntryLength;
  TextStyle textStyle_;
  PlugBase* plug_;
  PixelRect rect_;
  PixelRect targetRect_;
  int32_t paramIndex_;
  GrowBuf auxParams_{4096};
  double value_ = 0.0;
  double defaultValue_ = -1.0;
  double clampLow_ = 0.0;
  double clampHigh_ = 1.0;
  bool needsDraw_ = true;
  bool hidden_ = false;
  bool grayed_ = false;
  bool pendingRedraw_ = false;
  bool promptDisabled_ = true;
  bool doubleClickAsPress_ = false;
  BlendSpec blend_;
  TextControl* valueDisplay_ = nullptr;
  TextControl* nameDisplay_ = nullptr;
};

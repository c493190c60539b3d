#pragma once
// A small plug-in and editor pair for driving the editor framework.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "graphics/Controls.h"
#include "graphics/HeadlessEditor.h"
#include "plugin/PlugBase.h"
#include "raster/RasterBitmap.h"

namespace graphics_test {

enum TestParam { kGain = 0, kPower = 1, kMode = 2, kOffset = 3, kCurve = 4, kParamCount = 5 };

// Records every host notification in order.
class TestPlug : public PlugBase {
public:
  TestPlug() : PlugBase(MakeConfig()) {
    ParamAt(kGain)->DefineDouble("Gain", 5.0, 0.0, 10.0, 0.01);
    ParamAt(kPower)->DefineBool("Power");
    ParamAt(kMode)->DefineEnum("Mode", 3);
    ParamAt(kMode)->AddDisplayText(0, "soft");
    ParamAt(kMode)->AddDisplayText(1, "hard");
    ParamAt(kMode)->AddDisplayText(2, "wild");
    ParamAt(kOffset)->DefineDouble("Offset", 2.5, 0.0, 5.0, 0.1);
    ParamAt(kOffset)->SetNegateDisplay(true);
    ParamAt(kCurve)->DefineDouble("Curve", 0.0, 0.0, 10.0, 1.0);
    ParamAt(kCurve)->SetShape(2.0);
  }

  void HostEditBegin(int32_t index) override { Log("begin " + std::to_string(index)); }
  void HostAutomate(int32_t index, double normalized) override {
    char text[64];
    std::snprintf(text, sizeof(text), "set %d %g", int(index), normalized);
    Log(text);
  }
  void HostEditEnd(int32_t index) override { Log("end " + std::to_string(index)); }
  void HostProgramChanged() override {}
  int32_t HostSamplePosition() override { return 0; }
  double HostTempo() override { return 120.0; }
  void HostTimeSignature(int32_t& numerator, int32_t& denominator) override {
    numerator = 4;
    denominator = 4;
  }
  void HostTimeInfo(TimeInfo&) override {}
  void ResizeEditor(int32_t width, int32_t height) override {
    Log("resize " + std::to_string(width) + "x" + std::to_string(height));
  }
  bool SendMidiToHost(const MidiMsg&) override { return false; }

  std::vector<std::string> log;

private:
  static PlugConfig MakeConfig() {
    PlugConfig config;
    config.paramCount = kParamCount;
    config.channelSpec = "0-2";
    config.effectName = "Test";
    return config;
  }
  void Log(const std::string& entry) { log.push_back(entry); }
};

// A bitmap of one colour per frame, frames stacked top to bottom.
inline std::unique_ptr<MemBitmap> MakeStripBitmap(int32_t width, int32_t frameHeight,
                                                  const std::vector<Pixel32>& frameColors) {
  const int32_t frames = int32_t(frameColors.size());
  auto bitmap = std::make_unique<MemBitmap>(width, frameHeight * frames);
  for (int32_t y = 0; y < frameHeight * frames; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      bitmap->PixelData()[y * bitmap->RowSpan() + x] = frameColors[size_t(y / frameHeight)];
    }
  }
  return bitmap;
}

inline BitmapStrip StripOf(MemBitmap* bitmap, int32_t frames) {
  BitmapStrip strip;
  strip.bitmap = bitmap;
  strip.width = bitmap->Width();
  strip.height = bitmap->Height();
  strip.frames = frames;
  return strip;
}

inline Pixel32 PixelAt(const Editor& editor, int32_t x, int32_t y) {
  const RasterBitmap* bitmap = editor.DrawBitmap();
  return bitmap->PixelData()[y * bitmap->RowSpan() + x];
}

constexpr MouseMods kLeft{true, false, false, false, false};
constexpr MouseMods kRight{false, true, false, false, false};
constexpr MouseMods kShift{false, false, true, false, false};
constexpr MouseMods kControlKey{false, false, false, true, false};
constexpr MouseMods kNoButtons{};

// A plain control that records what reaches it.
class ProbeControl : public Control {
public:
  ProbeControl(PlugBase* plug, const PixelRect& rect, int32_t paramIndex = -1)
      : Control(plug, rect, paramIndex, BlendSpec{}) {}
  bool Draw(Editor*) override {
    ++draws;
    return true;
  }
  void MouseDown(int32_t x, int32_t y, const MouseMods& mods) override {
    events.push_back("down");
    Control::MouseDown(x, y, mods);
  }
  void MouseUp(int32_t, int32_t, const MouseMods&) override { events.push_back("up"); }
  void MouseDrag(int32_t, int32_t, int32_t dx, int32_t dy, const MouseMods&) override {
    events.push_back("drag " + std::to_string(dx) + "," + std::to_string(dy));
  }
  bool KeyDown(int32_t, int32_t, int32_t key) override {
    events.push_back("key " + std::to_string(key));
    return usesKeys;
  }

  std::vector<std::string> events;
  int32_t draws = 0;
  bool usesKeys = true;
};

// A plug-in with an attached headless editor; the plug-in owns the editor.
struct EditorRig {
  EditorRig() {
    editor = new HeadlessEditor(&plug, 200, 100);
    plug.SetEditor(editor);
  }
  // Adds and returns a control, re-pushing the parameter values as the
  // plug-in's attach step would.
  template <class C>
  C* Add(C* control) {
    editor->AddControl(control);
    const int32_t index = control->ParamIndex();
    if (plug.ValidParam(index)) editor->ParamToControls(index, plug.ParamAt(index)->NormalizedValue(), true);
    return control;
  }

  TestPlug plug;
  HeadlessEditor* editor;
};

}  // namespace graphics_test

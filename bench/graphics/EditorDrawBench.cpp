// Drawing cost of an editor laid out like the instrument's: a full redraw
// and the redraw of one turned knob.
#include <benchmark/benchmark.h>

#include <memory>

#include "graphics/Controls.h"
#include "graphics/HeadlessEditor.h"
#include "plugin/PlugBase.h"
#include "instrument/ThudrixParams.h"
#include "raster/RasterBitmap.h"

namespace {

class BenchPlug : public PlugBase {
public:
  BenchPlug() : PlugBase(Config()) {
    for (int32_t i = 0; i < ParamCount(); ++i) ParamAt(i)->DefineDouble("P", 0.3, 0.0, 1.0, 0.001);
  }
  void HostEditBegin(int32_t) override {}
  void HostAutomate(int32_t, double) override {}
  void HostEditEnd(int32_t) override {}
  void HostProgramChanged() override {}
  int32_t HostSamplePosition() override { return 0; }
  double HostTempo() override { return 120.0; }
  void HostTimeSignature(int32_t& n, int32_t& d) override { n = d = 4; }
  void HostTimeInfo(TimeInfo&) override {}
  void ResizeEditor(int32_t, int32_t) override {}
  bool SendMidiToHost(const MidiMsg&) override { return false; }

private:
  static PlugConfig Config() {
    PlugConfig config;
    config.paramCount = kThudrixParamCount;
    config.channelSpec = "0-2";
    return config;
  }
};

struct ImageSize {
  int32_t id, width, height;
};
constexpr ImageSize kImageSizes[] = {{101, 50, 3200}, {102, 592, 442}, {103, 78, 156}, {104, 45, 33}, {105, 15, 9},
                                     {106, 20, 40},   {107, 20, 40},   {108, 32, 44},  {109, 32, 44}};

// The module's images, or translucent stand-ins of the same size when an
// image is not built in.
class BenchEditor : public HeadlessEditor {
public:
  using HeadlessEditor::HeadlessEditor;
  RasterBitmap* LoadResourceBitmap(int32_t id, const char* name) override {
    if (RasterBitmap* image = HeadlessEditor::LoadResourceBitmap(id, name)) return image;
    for (const ImageSize& size : kImageSizes) {
      if (size.id != id) continue;
      auto* image = new MemBitmap(size.width, size.height);
      for (int32_t y = 0; y < size.height; ++y) {
        for (int32_t x = 0; x < size.width; ++x) {
          const Pixel32 alpha = (x + y) % 3 == 0 ? 0x80 : 0xFF;
          image->PixelData()[y * image->RowSpan() + x] = (alpha << 24) | Pixel32(x * 7 + y * 13);
        }
      }
      return image;
    }
    return nullptr;
  }
};

struct Layout {
  BenchPlug plug;
  BenchEditor* editor = new BenchEditor(&plug);
  KnobStripControl* firstKnob = nullptr;

  Layout() {
    const BlendSpec blend{};
    editor->AddBackground(102, "resources/img/backgroundPro.png");
    const BitmapStrip knob = editor->LoadStripBitmap(101, "resources/img/knobthd_64Frames.png", 64);
    const BitmapStrip kyb = editor->LoadStripBitmap(104, "resources/img/kyb.png", 2);
    // The instrument's own layout, from its parameter table.
    for (const ThudrixParamRow& row : kThudrixParams) {
      const int32_t i = row.index;
      switch (row.control) {
        case ParamControl::Knob: {
          auto* control = new KnobStripControl(&plug, row.x, row.y, i, knob, kKnobVertical, 4.0, blend);
          editor->AddControl(control);
          if (!firstKnob) firstKnob = control;
          break;
        }
        case ParamControl::MidiSwitch:
          editor->AddControl(new SwitchControl(&plug, row.x, row.y, i, kyb, blend));
          break;
        case ParamControl::Pad:
          editor->AddControl(new ContactControl(
              &plug, row.x, row.y, i, editor->LoadStripBitmap(103, "resources/img/triggerthd.png", 2), blend));
          break;
        case ParamControl::LearnButton:
          editor->AddControl(new SwitchControl(&plug, row.x, row.y, i,
                                               editor->LoadStripBitmap(106, "resources/img/learn.png", 2), blend));
          break;
        case ParamControl::ClearButton:
          editor->AddControl(new SwitchControl(&plug, row.x, row.y, i,
                                               editor->LoadStripBitmap(107, "resources/img/clear.png", 2), blend));
          break;
        case ParamControl::HitLight:
          editor->AddControl(new BitmapControl(&plug, row.x, row.y, i,
                                               editor->LoadStripBitmap(105, "resources/img/led.png", 2), blend));
          break;
        case ParamControl::PresetLeft:
          editor->AddControl(new ContactControl(
              &plug, row.x, row.y, i, editor->LoadStripBitmap(108, "resources/img/presetLeft.png", 2), blend));
          break;
        case ParamControl::PresetRight:
          editor->AddControl(new ContactControl(
              &plug, row.x, row.y, i, editor->LoadStripBitmap(109, "resources/img/presetRight.png", 2), blend));
          break;
        case ParamControl::None:
          break;
      }
    }
    TextStyle presetStyle;
    presetStyle.size = 16;
    presetStyle.style = kStyleBold;
    presetStyle.quality = kQualityNonAntialiased;
    editor->AddControl(new TextControl(&plug, {207, 20, 383, 37}, presetStyle, "Deep Thud"));
    TextStyle valueStyle;
    valueStyle.quality = kQualityNonAntialiased;
    editor->AddControl(new TextControl(&plug, {496, 347, 544, 359}, valueStyle, "0.300"));
    plug.SetEditor(editor);
  }
};

void BM_FullRedraw(benchmark::State& state) {
  Layout layout;
  Editor& editor = *layout.editor;
  const PixelRect whole{0, 0, editor.Width(), editor.Height()};
  for (auto _ : state) {
    for (int32_t i = 0; i < editor.ControlCount(); ++i) editor.ControlAt(i)->MarkDirty(false);
    benchmark::DoNotOptimize(editor.DrawControls(whole));
  }
  state.counters["controls"] = editor.ControlCount();
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

void BM_OneKnobRedraw(benchmark::State& state) {
  Layout layout;
  Editor& editor = *layout.editor;
  editor.DrawControls({0, 0, editor.Width(), editor.Height()});
  double value = 0.0;
  for (auto _ : state) {
    value = value >= 1.0 ? 0.0 : value + 1.0 / 63.0;
    layout.firstKnob->ValueFromPlug(value);
    PixelRect dirty;
    if (editor.CollectDirty(dirty)) editor.DrawControls(dirty);
  }
}
BENCHMARK(BM_OneKnobRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

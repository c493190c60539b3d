#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#include "GraphicsTestSupport.h"
#include "graphics/EditorSnapshot.h"
#include "graphics/ResourceCaches.h"
#include "graphics/ResourceImage.h"
#include "raster/PngDecode.h"
#include "raster/RasterFont.h"

using namespace graphics_test;

namespace {

constexpr Pixel32 kRed = 0xFFFF0000;
constexpr Pixel32 kGreen = 0xFF00FF00;
constexpr Pixel32 kBlue = 0xFF0000FF;
constexpr Pixel32 kBlack = 0xFF000000;
constexpr Pixel32 kWhite = 0xFFFFFFFF;
constexpr BlendSpec kOpaque{kBlendOpaque, 1.0f};

struct Drawing : ::testing::Test {
  EditorRig rig;
  HeadlessEditor& editor = *rig.editor;
  std::unique_ptr<MemBitmap> backgroundImage = MakeStripBitmap(200, 100, {kRed});
  std::unique_ptr<MemBitmap> knobImage = MakeStripBitmap(10, 10, {kGreen, kBlue});

  void AddBackground() {
    editor.AddControl(new BitmapControl(&rig.plug, 0, 0, -1, StripOf(backgroundImage.get(), 1), kOpaque));
  }
  KnobStripControl* AddKnob(int32_t x, int32_t y, int32_t param) {
    return rig.Add(
        new KnobStripControl(&rig.plug, x, y, param, StripOf(knobImage.get(), 2), kKnobVertical, 4.0, BlendSpec{}));
  }
  void DrawAll() { editor.DrawControls({0, 0, 200, 100}); }
  // Draw passes set the clip rect; a pass over no controls stops at once.
  void OpenClip(const PixelRect& clip) {
    if (editor.ControlCount() == 0) editor.AddControl(new ProbeControl(&rig.plug, {}));
    editor.DrawControls(clip);
  }
  void Redraw() {
    PixelRect dirty;
    if (editor.CollectDirty(dirty)) editor.DrawControls(dirty);
  }
  void Poke(int32_t x, int32_t y, Pixel32 color) {
    editor.DrawBitmap()->PixelData()[y * editor.DrawBitmap()->RowSpan() + x] = color;
  }
};

// A font that measures every text as 8 x 12 and records what it was asked.
class FakeFont : public RasterFont {
public:
  void AttachNativeFont(NativeFontHandle, uint32_t) override {}
  Pixel32 ChangeTextColor(Pixel32 color) override { return std::exchange(color_, color); }
  Pixel32 ChangeBackColor(Pixel32 color) override { return color; }
  Pixel32 ChangeEffectColor(Pixel32 color) override { return color; }
  int32_t ChangeBackMode(int32_t mode) override { return mode; }
  void ChangeBlendMode(int32_t, float) override {}
  int32_t RenderText(RasterBitmap*, const char*, int32_t, RasterRect* rect, uint32_t flags) override {
    lastFlags = flags;
    ++calls;
    if (flags & TextMeasureOnly) {
      rect->right = rect->left + 8;
      rect->bottom = rect->top + 12;
    }
    return 12;
  }
  Pixel32 TextColor() const override { return color_; }
  NativeFontHandle NativeFont() const override { return nullptr; }
  int32_t LineHeight() const override { return 12; }

  uint32_t lastFlags = 0;
  int32_t calls = 0;

private:
  Pixel32 color_ = 0;
};

}  // namespace

TEST_F(Drawing, FullDrawThenKnobRedrawTouchesOnlyTheKnob) {
  AddBackground();
  KnobStripControl* knob = AddKnob(50, 40, kCurve);
  DrawAll();
  EXPECT_EQ(PixelAt(editor, 5, 5), kRed);
  EXPECT_EQ(PixelAt(editor, 50, 40), kGreen);
  EXPECT_EQ(PixelAt(editor, 59, 49), kGreen);
  EXPECT_EQ(PixelAt(editor, 60, 45), kRed);
  EXPECT_EQ(PixelAt(editor, 55, 50), kRed);

  Poke(70, 45, kWhite);  // would be painted over by a full redraw
  editor.ParamToControls(kCurve, 10.0, false);
  EXPECT_EQ(knob->Value(), 1.0);
  Redraw();
  EXPECT_EQ(PixelAt(editor, 50, 40), kBlue);
  EXPECT_EQ(PixelAt(editor, 59, 49), kBlue);
  EXPECT_EQ(PixelAt(editor, 70, 45), kWhite);
  EXPECT_EQ(PixelAt(editor, 60, 45), kRed);
}

TEST_F(Drawing, BlitIsClippedToTheRedrawRect) {
  AddBackground();
  editor.DrawControls({0, 0, 20, 20});
  const BitmapStrip knob = StripOf(knobImage.get(), 2);
  EXPECT_TRUE(editor.BlitBitmap(knob, {50, 50, 60, 60}, 0, 0, kOpaque));
  EXPECT_EQ(PixelAt(editor, 55, 55), 0u);  // untouched since the bitmap was made
  EXPECT_TRUE(editor.BlitBitmap(knob, {15, 15, 25, 25}, 0, 0, kOpaque));
  EXPECT_EQ(PixelAt(editor, 15, 15), kGreen);
  EXPECT_EQ(PixelAt(editor, 19, 19), kGreen);
  EXPECT_EQ(PixelAt(editor, 20, 19), 0u);
  EXPECT_EQ(PixelAt(editor, 19, 20), 0u);
  // The source follows the clipping: the visible part is the frame's top-left.
  EXPECT_TRUE(editor.BlitBitmap(knob, {-5, -5, 5, 5}, 0, 10, kOpaque));
  EXPECT_EQ(PixelAt(editor, 0, 0), kBlue);
  EXPECT_EQ(PixelAt(editor, 4, 4), kBlue);
  EXPECT_EQ(PixelAt(editor, 5, 5), kRed);
}

TEST_F(Drawing, StripFramesStartAtRoundedOffsets) {
  std::vector<Pixel32> colors;
  for (Pixel32 k = 0; k < 64; ++k) colors.push_back(kBlack | k);
  auto strip64 = MakeStripBitmap(50, 50, colors);
  const BitmapStrip strip = StripOf(strip64.get(), 64);
  OpenClip({0, 0, 200, 100});
  const PixelRect dest{0, 0, 50, 50};
  for (int32_t frame : {1, 2, 33, 64}) {
    editor.DrawStrip(strip, dest, frame, kOpaque);
    EXPECT_EQ(PixelAt(editor, 0, 0), kBlack | Pixel32(frame - 1)) << frame;
    EXPECT_EQ(PixelAt(editor, 49, 49), kBlack | Pixel32(frame - 1)) << frame;
  }
  editor.DrawStrip(strip, dest, 0, kOpaque);  // below 2: the top
  EXPECT_EQ(PixelAt(editor, 0, 0), kBlack);

  BitmapStrip single = strip;
  single.frames = 1;
  editor.DrawStrip(single, dest, 5, kOpaque);
  EXPECT_EQ(PixelAt(editor, 0, 0), kBlack);

  // Rounded, not truncated: frame 2 of a 9-row, two-frame strip starts at row 5.
  auto odd = MakeStripBitmap(4, 1, {kRed, kRed, kRed, kRed, kRed, kGreen, kGreen, kGreen, kGreen});
  editor.DrawStrip(StripOf(odd.get(), 2), {0, 0, 4, 4}, 2, kOpaque);
  EXPECT_EQ(PixelAt(editor, 0, 0), kGreen);
}

TEST_F(Drawing, HorizontalStripsStepAlongTheWidth) {
  auto wide = std::make_unique<MemBitmap>(20, 10);
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 20; ++x) wide->PixelData()[y * wide->RowSpan() + x] = x < 10 ? kGreen : kBlue;
  }
  BitmapStrip strip = StripOf(wide.get(), 2);
  strip.horizontal = true;
  OpenClip({0, 0, 200, 100});
  editor.DrawStrip(strip, {0, 0, 10, 10}, 2, kOpaque);
  EXPECT_EQ(PixelAt(editor, 0, 0), kBlue);
  EXPECT_EQ(PixelAt(editor, 9, 9), kBlue);
}

TEST_F(Drawing, KnobShowsTheFrameNearestItsValue) {
  EXPECT_EQ(FrameForValue(0.0, 64), 1);
  EXPECT_EQ(FrameForValue(0.5, 64), 33);
  EXPECT_EQ(FrameForValue(1.0, 64), 64);
  EXPECT_EQ(FrameForValue(0.49, 2), 1);
  EXPECT_EQ(FrameForValue(0.5, 2), 2);
  EXPECT_EQ(FrameForValue(-3.0, 64), 1);
  EXPECT_EQ(FrameForValue(7.0, 64), 64);
  EXPECT_EQ(FrameForValue(std::nan(""), 64), 1);
  EXPECT_EQ(FrameForValue(0.7, 1), 1);
  EXPECT_EQ(FrameForValue(0.7, 0), 1);
}

TEST_F(Drawing, GrayedControlIsDrawnAtQuarterWeight) {
  auto black = MakeStripBitmap(200, 100, {kBlack});
  editor.AddControl(new BitmapControl(&rig.plug, 0, 0, -1, StripOf(black.get(), 1), kOpaque));
  auto white = MakeStripBitmap(10, 10, {kWhite});
  auto* light = rig.Add(new BitmapControl(&rig.plug, 20, 20, -1, StripOf(white.get(), 1), BlendSpec{}));
  light->SetGrayed(true);
  DrawAll();
  const Pixel32 pixel = PixelAt(editor, 25, 25);
  const uint32_t red = (pixel >> 16) & 0xFF;
  EXPECT_GE(red, 0x3Cu);
  EXPECT_LE(red, 0x44u);
  light->SetGrayed(false);
  Redraw();
  EXPECT_EQ(PixelAt(editor, 25, 25), kWhite);
}

TEST_F(Drawing, PanelFillIsNotClippedToTheRedrawRect) {
  const int32_t panel = editor.AddControl(new PanelControl(&rig.plug, {0, 0, 20, 20}, ArgbColor{255, 0, 0, 255}));
  ASSERT_EQ(panel, 0);
  editor.DrawControls({0, 0, 5, 5});
  EXPECT_EQ(PixelAt(editor, 15, 15), kBlue);
  EXPECT_EQ(PixelAt(editor, 25, 15), 0u);
}

TEST_F(Drawing, MissingImageGivesAnEmptyStripThatDrawsNothing) {
  struct NoImages : HeadlessEditor {
    using HeadlessEditor::HeadlessEditor;
    RasterBitmap* LoadResourceBitmap(int32_t, const char*) override { return nullptr; }
  };
  NoImages blank(&rig.plug, 30, 30);
  blank.PrepareDrawing();
  const BitmapStrip strip = blank.LoadStripBitmap(7102, "missing.png", 3);
  EXPECT_EQ(strip.bitmap, nullptr);
  EXPECT_EQ(strip.width, 0);
  EXPECT_EQ(strip.height, 0);
  EXPECT_EQ(strip.frames, 3);
  blank.AddBackground(7102, "missing.png");
  blank.AddControl(new SwitchControl(&rig.plug, 5, 5, -1, strip, BlendSpec{}));
  blank.AddControl(new KnobStripControl(&rig.plug, 5, 5, -1, strip, kKnobVertical, 4.0, BlendSpec{}));
  EXPECT_EQ(blank.ControlAt(0)->Rect(), (PixelRect{0, 0, 0, 0}));
  EXPECT_TRUE(blank.DrawControls({0, 0, 30, 30}));
  EXPECT_TRUE(blank.BlitBitmap(strip, {0, 0, 10, 10}, 0, 0, kOpaque));
  EXPECT_TRUE(blank.DrawStrip(strip, {0, 0, 10, 10}, 3, kOpaque));
  blank.HandleMouseDown(5, 5, kLeft);  // nothing has a size to be hit
  EXPECT_EQ(blank.CapturedControl(), -1);
}

TEST(ResourceCaches, EachImageIsLoadedOncePerProcessEvenWhenMissing) {
  struct CountingEditor : HeadlessEditor {
    using HeadlessEditor::HeadlessEditor;
    RasterBitmap* LoadResourceBitmap(int32_t id, const char*) override {
      ++loads;
      return id == 7201 ? new MemBitmap(4, 6) : nullptr;
    }
    int loads = 0;
  };
  TestPlug plug;
  CountingEditor first(&plug), second(&plug);
  const int32_t cachedBefore = CachedBitmapCount();
  const BitmapStrip a = first.LoadStripBitmap(7201, "a.png", 2);
  const BitmapStrip b = second.LoadStripBitmap(7201, "a.png", 1);
  EXPECT_EQ(first.loads + second.loads, 1);
  EXPECT_EQ(a.bitmap, b.bitmap);
  EXPECT_EQ(a.width, 4);
  EXPECT_EQ(a.height, 6);
  EXPECT_EQ(a.frames, 2);
  first.LoadStripBitmap(7202, "gone.png", 1);
  second.LoadStripBitmap(7202, "gone.png", 1);
  EXPECT_EQ(first.loads + second.loads, 2);
  EXPECT_EQ(CachedBitmapCount(), cachedBefore + 2);
  EXPECT_EQ(first.LoadStripBitmap(7201, "a.png", 0).frames, 1);
}

TEST(ResourceCaches, InstancesOnSeveralThreadsShareOneImageAndOneFont) {
  struct SlowLoader : HeadlessEditor {
    using HeadlessEditor::HeadlessEditor;
    RasterBitmap* LoadResourceBitmap(int32_t, const char*) override {
      std::this_thread::yield();
      return new MemBitmap(3, 3);
    }
  };
  constexpr int kThreads = 4;
  TestPlug plug;
  const int32_t cachedImages = CachedBitmapCount();
  RasterBitmap* images[kThreads] = {};
  RasterFont* fonts[kThreads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      SlowLoader editor(&plug);
      images[t] = editor.LoadStripBitmap(7301, "shared.png", 1).bitmap;
      TextStyle style;
      style.size = 17;
      fonts[t] = editor.FontFor(style);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(CachedBitmapCount(), cachedImages + 1);
  for (int t = 1; t < kThreads; ++t) {
    EXPECT_EQ(images[t], images[0]);
    EXPECT_EQ(fonts[t], fonts[0]);
  }
}

TEST(ResourceImage, ExtensionChoosesTheDecoder) {
  EXPECT_TRUE(IsPngResourceName("resources/img/backgroundPro.png"));
  EXPECT_TRUE(IsPngResourceName("knob.PnG"));
  EXPECT_TRUE(IsPngResourceName("xpng"));  // no dot: the text after the first character
  EXPECT_FALSE(IsPngResourceName("png"));
  EXPECT_FALSE(IsPngResourceName("image.png.bmp"));
  EXPECT_FALSE(IsPngResourceName("image."));
  EXPECT_FALSE(IsPngResourceName(""));
  EXPECT_FALSE(IsPngResourceName(nullptr));

  TestPlug plug;
  HeadlessEditor editor(&plug);
  EXPECT_EQ(editor.LoadResourceBitmap(102, "background.bmp"), nullptr);
  EXPECT_EQ(editor.LoadResourceBitmap(4999, "absent.png"), nullptr);
}

TEST_F(Drawing, TextMeasuringPlacesTheExtentByAlignment) {
  FakeFont font;
  TextStyle style;
  style.font = &font;
  style.alignment = kAlignLeft;
  PixelRect rect{100, 3, 100, 3};
  EXPECT_TRUE(editor.MeasureText(style, "abc", rect));
  EXPECT_EQ(rect, (PixelRect{100, 3, 108, 15}));
  EXPECT_EQ(font.lastFlags, TextNoClip | TextMeasureOnly);

  style.alignment = kAlignCenter;
  rect = {10, 0, 31, 0};
  EXPECT_TRUE(editor.DrawText(style, "abc", rect, true));
  EXPECT_EQ(rect, (PixelRect{16, 0, 24, 12}));
  EXPECT_EQ(font.lastFlags, TextNoClip | TextMeasureOnly | TextCenter);

  style.alignment = kAlignRight;
  rect = {0, 10, 50, 10};
  EXPECT_TRUE(editor.MeasureText(style, "abc", rect));
  EXPECT_EQ(rect, (PixelRect{42, 10, 50, 22}));

  const int32_t calls = font.calls;
  EXPECT_TRUE(editor.MeasureText(style, "", rect));
  EXPECT_TRUE(editor.MeasureText(style, nullptr, rect));
  EXPECT_EQ(font.calls, calls);
}

TEST_F(Drawing, TextFlagsFollowColourAlphaAndAlignment) {
  FakeFont font;
  TextStyle style;
  style.font = &font;
  style.textColor = ArgbColor{255, 1, 2, 3};
  PixelRect rect{0, 0, 50, 20};
  EXPECT_TRUE(editor.DrawText(style, "x", rect, false));
  EXPECT_EQ(font.lastFlags, TextNoClip | TextCenter);
  EXPECT_EQ(font.TextColor(), 0xFF010203u);
  EXPECT_EQ(rect, (PixelRect{0, 0, 50, 20}));

  style.textColor.alpha = 128;
  style.alignment = kAlignRight;
  editor.DrawText(style, "x", rect, false);
  EXPECT_EQ(font.lastFlags, TextNoClip | TextUseColorAlpha | TextRight);
  EXPECT_EQ(font.TextColor(), 0x80010203u);
}

TEST(ResourceCaches, OneFontPerSizeOrientationStyleAndName) {
  TestPlug plug;
  HeadlessEditor editor(&plug);
  TextStyle style;
  style.size = 13;
  RasterFont* font = editor.FontFor(style);
  if (!font) GTEST_SKIP() << "no font can be loaded on this machine";
  const int32_t cached = CachedFontCount();
  EXPECT_EQ(style.font, font);

  TextStyle same;
  same.size = 13;
  EXPECT_EQ(editor.FontFor(same), font);
  EXPECT_EQ(CachedFontCount(), cached);

  TextStyle turned = same;
  turned.font = nullptr;
  turned.orientation = 90;
  RasterFont* turnedFont = editor.FontFor(turned);
  EXPECT_NE(turnedFont, nullptr);
  EXPECT_NE(turnedFont, font);
  EXPECT_EQ(CachedFontCount(), cached + 1);

  TextStyle otherCase = same;
  otherCase.font = nullptr;
  otherCase.SetFaceName("verdana");  // names compare exactly
  EXPECT_NE(editor.FontFor(otherCase), font);
  EXPECT_EQ(CachedFontCount(), cached + 2);
}

TEST_F(Drawing, TextControlPaintsItsText) {
  AddBackground();
  TextStyle style;
  style.textColor = ArgbColor{255, 0, 0, 255};
  style.quality = kQualityNonAntialiased;
  auto* text = rig.Add(new TextControl(&rig.plug, {10, 10, 110, 30}, style, "Thud 123"));
  DrawAll();
  if (!text->Style().font) GTEST_SKIP() << "no font can be loaded on this machine";
  // The cache keys fonts without quality, so the glyph edges may be smooth.
  int inked = 0;
  for (int32_t y = 10; y < 30; ++y) {
    for (int32_t x = 10; x < 110; ++x) inked += PixelAt(editor, x, y) != kRed;
  }
  EXPECT_GT(inked, 40);
  EXPECT_EQ(PixelAt(editor, 5, 5), kRed);

  PixelRect measured = text->Rect();
  EXPECT_TRUE(editor.MeasureText(text->Style(), text->Text(), measured));
  EXPECT_GT(measured.Width(), 20);
  EXPECT_EQ(measured.left + measured.right, 10 + 110 + measured.Width() % 2);
}

TEST_F(Drawing, SnapshotWritesTheWholeEditorAsOpaquePng) {
  AddBackground();
  AddKnob(50, 40, kGain);  // value 0.5: second frame
  editor.DrawControls({});
  const char* path = "/tmp/thudra_graphics_snapshot_test.png";
  ASSERT_TRUE(SaveEditorPng(editor, path));
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::remove(path);
  std::unique_ptr<MemBitmap> picture(DecodePngMemory(bytes.data(), int32_t(bytes.size())));
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(picture->Width(), 200);
  ASSERT_EQ(picture->Height(), 100);
  auto at = [&](int32_t x, int32_t y) { return picture->PixelData()[y * picture->RowSpan() + x]; };
  EXPECT_EQ(at(0, 0), kRed);
  EXPECT_EQ(at(55, 45), kBlue);

  EXPECT_FALSE(SaveEditorPng(editor, nullptr));
  EXPECT_FALSE(SaveEditorPng(editor, "/nonexistent-folder/x.png"));
}

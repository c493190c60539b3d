#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"

using namespace graphics_test;
using Log = std::vector<std::string>;

namespace {

struct Dispatch : ::testing::Test {
  EditorRig rig;
  HeadlessEditor& editor = *rig.editor;
  Log& log = rig.plug.log;

  ProbeControl* Probe(const PixelRect& rect, int32_t param = -1) {
    return rig.Add(new ProbeControl(&rig.plug, rect, param));
  }
};

}  // namespace

TEST_F(Dispatch, HitTestingFindsTopmostFirstAndSkipsHiddenAndGrayed) {
  Probe({0, 0, 200, 100});  // background
  Probe({10, 10, 50, 50});  // 1
  Probe({30, 30, 60, 60});  // 2, overlaps 1
  EXPECT_EQ(editor.HitControl(40, 40), 2);
  EXPECT_EQ(editor.HitControl(15, 15), 1);
  EXPECT_EQ(editor.HitControl(100, 90), 0);
  EXPECT_EQ(editor.HitControl(250, 90), -1);

  editor.ControlAt(2)->SetHidden(true);
  EXPECT_EQ(editor.HitControl(40, 40), 1);
  editor.ControlAt(1)->SetGrayed(true);
  EXPECT_EQ(editor.HitControl(40, 40), 0);
  editor.HandleMouseDown(40, 40, kLeft);
  EXPECT_EQ(editor.CapturedControl(), 0);
}

TEST(ControlHitTest, RightAndBottomEdgesAndEmptyRectsMiss) {
  ProbeControl control(nullptr, {10, 20, 30, 40});
  EXPECT_TRUE(control.HitTest(10, 20));
  EXPECT_TRUE(control.HitTest(29, 39));
  EXPECT_FALSE(control.HitTest(30, 25));
  EXPECT_FALSE(control.HitTest(15, 40));
  EXPECT_FALSE(control.HitTest(9, 25));

  ProbeControl empty(nullptr, {});
  EXPECT_FALSE(empty.HitTest(0, 0));
  control.SetTargetRect({});
  EXPECT_FALSE(control.HitTest(15, 25));
}

TEST_F(Dispatch, PressAndReleaseAreBracketedForLeftAndRightButtons) {
  ProbeControl* probe = Probe({10, 10, 50, 50}, kGain);
  for (const MouseMods& mods : {kLeft, kRight}) {
    log.clear();
    probe->events.clear();
    editor.HandleMouseDown(20, 20, mods);
    EXPECT_EQ(editor.CapturedControl(), 0);
    editor.HandleMouseUp(90, 90, mods);  // released elsewhere: still the captured control
    EXPECT_EQ(probe->events, (Log{"down", "up"}));
    EXPECT_EQ(log, (Log{"begin 0", "end 0"}));
    EXPECT_EQ(editor.CapturedControl(), -1);
  }
}

TEST_F(Dispatch, UnboundControlsSendNoEditNotifications) {
  Probe({10, 10, 50, 50});
  editor.HandleMouseDown(20, 20, kLeft);
  editor.HandleMouseUp(20, 20, kLeft);
  EXPECT_TRUE(log.empty());
}

TEST_F(Dispatch, ReleaseWithoutCaptureGoesToTheControlUnderTheCursor) {
  ProbeControl* probe = Probe({10, 10, 50, 50}, kGain);
  editor.HandleMouseUp(20, 20, kLeft);
  EXPECT_EQ(probe->events, (Log{"up"}));
  EXPECT_EQ(log, (Log{"end 0"}));
  editor.HandleMouseUp(150, 90, kLeft);  // nothing there
  EXPECT_EQ(probe->events.size(), 1u);
}

TEST_F(Dispatch, PressOnNothingCapturesNothing) {
  ProbeControl* probe = Probe({10, 10, 50, 50}, kGain);
  editor.HandleMouseDown(20, 20, kLeft);
  editor.HandleMouseDown(150, 90, kLeft);
  EXPECT_EQ(editor.CapturedControl(), -1);
  editor.HandleMouseDrag(160, 95, kLeft);
  EXPECT_EQ(probe->events, (Log{"down"}));
}

TEST_F(Dispatch, DragIsDeliveredOnlyWhenThePositionChanged) {
  ProbeControl* probe = Probe({10, 10, 50, 50});
  editor.HandleMouseDrag(20, 20, kLeft);  // not captured
  editor.HandleMouseDown(20, 20, kLeft);
  editor.HandleMouseDrag(20, 20, kLeft);
  editor.HandleMouseDrag(25, 17, kLeft);
  editor.HandleMouseDrag(25, 17, kLeft);
  editor.HandleMouseDrag(100, 90, kLeft);  // outside the control: still captured
  EXPECT_EQ(probe->events, (Log{"down", "drag 5,-3", "drag 75,73"}));
}

TEST_F(Dispatch, SwitchValueReachesThePlugInBeforeTheGestureBegins) {
  auto strip = MakeStripBitmap(10, 10, {0xFF000000, 0xFFFFFFFF});
  SwitchControl* power = rig.Add(new SwitchControl(&rig.plug, 10, 10, kPower, StripOf(strip.get(), 2), BlendSpec{}));
  editor.HandleMouseDown(12, 12, kLeft);
  editor.HandleMouseUp(12, 12, kLeft);
  EXPECT_EQ(log, (Log{"set 1 1", "begin 1", "end 1"}));
  EXPECT_EQ(power->Value(), 1.0);
  EXPECT_EQ(rig.plug.ParamAt(kPower)->Value(), 1.0);
}

TEST_F(Dispatch, ContactControlEndsEveryClickAtZero) {
  auto strip = MakeStripBitmap(10, 10, {0xFF000000, 0xFFFFFFFF});
  ContactControl* pad = rig.Add(new ContactControl(&rig.plug, 10, 10, kPower, StripOf(strip.get(), 2), BlendSpec{}));
  for (int click = 0; click < 2; ++click) {
    log.clear();
    editor.HandleMouseDown(12, 12, kLeft);
    editor.HandleMouseUp(12, 12, kLeft);
    EXPECT_EQ(log, (Log{"set 1 1", "begin 1", "set 1 0", "end 1"}));
    EXPECT_EQ(pad->Value(), 0.0);
  }
}

TEST_F(Dispatch, ThreeFrameSwitchWrapsAfterItsLastFrame) {
  auto strip = MakeStripBitmap(10, 10, {0xFF000000, 0xFF808080, 0xFFFFFFFF});
  SwitchControl* mode = rig.Add(new SwitchControl(&rig.plug, 10, 10, kMode, StripOf(strip.get(), 3), BlendSpec{}));
  std::vector<double> seen;
  for (int click = 0; click < 3; ++click) {
    editor.HandleMouseDown(12, 12, kLeft);
    editor.HandleMouseUp(12, 12, kLeft);
    seen.push_back(mode->Value());
  }
  EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0}));
  // A double click is one more step.
  editor.HandleDoubleClick(12, 12, kLeft);
  EXPECT_EQ(mode->Value(), 0.5);
}

TEST_F(Dispatch, DoubleClickRestoresTheKnobDefaultWithoutBeginEdit) {
  auto strip = MakeStripBitmap(10, 10, {0xFF000000, 0xFFFFFFFF});
  KnobStripControl* knob =
      rig.Add(new KnobStripControl(&rig.plug, 10, 10, kGain, StripOf(strip.get(), 2), kKnobVertical, 4.0, BlendSpec{}));
  EXPECT_EQ(knob->DefaultValue(), 0.5);
  editor.SetControlValue(0, 0.9);
  EXPECT_FALSE(editor.HandleDoubleClick(12, 12, kLeft));
  EXPECT_EQ(knob->Value(), 0.5);
  EXPECT_EQ(editor.CapturedControl(), -1);
  editor.HandleMouseUp(12, 12, kLeft);
  EXPECT_EQ(log, (Log{"set 0 0.5", "end 0"}));
}

TEST_F(Dispatch, DoubleClickDoesNothingWhileTheDefaultIsUnknown) {
  auto strip = MakeStripBitmap(10, 10, {0xFF000000, 0xFFFFFFFF});
  auto* knob = new KnobStripControl(&rig.plug, 10, 10, kGain, StripOf(strip.get(), 2), kKnobVertical, 4.0, BlendSpec{});
  editor.AddControl(knob);  // no value pushed: default stays -1
  EXPECT_FALSE(editor.HandleDoubleClick(12, 12, kLeft));
  EXPECT_EQ(knob->Value(), 0.0);
  EXPECT_TRUE(log.empty());
}

TEST_F(Dispatch, DoubleClickAsPressCapturesAndPresses) {
  ProbeControl* probe = Probe({10, 10, 50, 50}, kGain);
  probe->SetDoubleClickAsPress(true);
  EXPECT_TRUE(editor.HandleDoubleClick(20, 20, kLeft));
  EXPECT_EQ(editor.CapturedControl(), 0);
  EXPECT_EQ(probe->events, (Log{"down"}));
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(editor.HandleDoubleClick(150, 90, kLeft));
  EXPECT_EQ(editor.CapturedControl(), -1);
}

TEST_F(Dispatch, WheelStepsAreCoarseOrFineAndClamped) {
  ProbeControl* probe = Probe({10, 10, 50, 50}, kGain);
  editor.SetControlValue(0, 0.5);
  editor.HandleWheel(20, 20, kNoButtons, 1);
  EXPECT_DOUBLE_EQ(probe->Value(), 0.51);
  editor.HandleWheel(20, 20, kShift, -2);
  EXPECT_DOUBLE_EQ(probe->Value(), 0.508);
  editor.HandleWheel(20, 20, kControlKey, 1);
  EXPECT_DOUBLE_EQ(probe->Value(), 0.509);
  editor.HandleWheel(20, 20, kNoButtons, 100);
  EXPECT_EQ(probe->Value(), 1.0);
  editor.HandleWheel(20, 20, kNoButtons, -1000);
  EXPECT_EQ(probe->Value(), 0.0);
  EXPECT_EQ(log.back(), "set 0 0");
  editor.HandleWheel(150, 90, kNoButtons, 1);  // nothing there
  EXPECT_EQ(probe->Value(), 0.0);
}

TEST_F(Dispatch, KeysGoToTheControlButNotToTheBackground) {
  ProbeControl* background = Probe({0, 0, 200, 100});
  ProbeControl* probe = Probe({10, 10, 50, 50});
  EXPECT_TRUE(editor.HandleKey(20, 20, KeyCode::LetterA));
  probe->usesKeys = false;
  EXPECT_FALSE(editor.HandleKey(20, 20, KeyCode::Space));
  EXPECT_EQ(probe->events, (Log{"key 15", "key 0"}));
  EXPECT_FALSE(editor.HandleKey(150, 90, KeyCode::ArrowUp));
  EXPECT_TRUE(background->events.empty());

  auto* catcher = new ProbeControl(&rig.plug, {});
  editor.SetKeyCatcher(catcher);
  EXPECT_TRUE(editor.HandleKey(150, 90, KeyCode::ArrowUp));
  EXPECT_TRUE(editor.HandleKey(300, 300, KeyCode::ArrowDown));
  EXPECT_EQ(catcher->events, (Log{"key 1", "key 2"}));
}

TEST_F(Dispatch, KnobDragMapsPixelsThroughHeightAndGearing) {
  auto strip = MakeStripBitmap(60, 60, {0xFF000000, 0xFFFFFFFF});
  KnobStripControl* knob = rig.Add(
      new KnobStripControl(&rig.plug, 10, 10, kCurve, StripOf(strip.get(), 2), kKnobVertical, 4.0, BlendSpec{}));
  ASSERT_EQ(knob->Rect().Height(), 60);
  editor.HandleMouseDown(30, 40, kLeft);
  editor.HandleMouseDrag(30, 30, kLeft);  // 10 pixels up
  EXPECT_DOUBLE_EQ(knob->Value(), 10.0 / 240.0);
  editor.HandleMouseDrag(30, 35, kShift);  // 5 down, ten times finer
  EXPECT_DOUBLE_EQ(knob->Value(), 10.0 / 240.0 - 5.0 / 2400.0);
  editor.HandleMouseDrag(30, -1000, kLeft);
  EXPECT_EQ(knob->Value(), 1.0);
  editor.HandleMouseDrag(30, -999, kLeft);  // back down at once from the end
  EXPECT_DOUBLE_EQ(knob->Value(), 1.0 - 1.0 / 240.0);
}

TEST_F(Dispatch, HorizontalKnobIncreasesToTheRight) {
  auto strip = MakeStripBitmap(50, 20, {0xFF000000, 0xFFFFFFFF});
  KnobStripControl* knob = rig.Add(
      new KnobStripControl(&rig.plug, 10, 10, kCurve, StripOf(strip.get(), 2), kKnobHorizontal, 1.0, BlendSpec{}));
  editor.HandleMouseDown(20, 15, kLeft);
  editor.HandleMouseDrag(30, 15, kLeft);
  EXPECT_DOUBLE_EQ(knob->Value(), 10.0 / 50.0);
}

TEST_F(Dispatch, KnobWithoutSizeOrGearingIgnoresDrags) {
  BitmapStrip noImage;  // a missing image gives a knob of no size
  auto* flat = rig.Add(new KnobStripControl(&rig.plug, 10, 10, kCurve, noImage, kKnobVertical, 4.0, BlendSpec{}));
  flat->MouseDrag(0, 0, 0, 0, kLeft);
  flat->MouseDrag(0, 0, 0, -5, kLeft);
  EXPECT_EQ(flat->Value(), 0.0);
  auto strip = MakeStripBitmap(10, 10, {0xFF000000});
  auto* ungeared = rig.Add(
      new KnobStripControl(&rig.plug, 10, 10, kCurve, StripOf(strip.get(), 1), kKnobVertical, 0.0, BlendSpec{}));
  ungeared->MouseDrag(0, 0, 0, -5, kLeft);
  EXPECT_EQ(ungeared->Value(), 0.0);
}

TEST_F(Dispatch, BadIndicesAndNullArgumentsAreIgnored) {
  ProbeControl* probe = Probe({10, 10, 50, 50}, kGain);
  editor.SetControlValue(-1, 0.3);
  editor.SetControlValue(1, 0.3);
  editor.SetControlValue(INT32_MAX, 0.3);
  EXPECT_EQ(probe->Value(), 0.5);
  EXPECT_EQ(editor.ControlAt(-1), nullptr);
  EXPECT_EQ(editor.ControlAt(1), nullptr);
  EXPECT_EQ(editor.AddControl(nullptr), -1);
  EXPECT_EQ(editor.AddControl(probe), 0);  // already owned: not added twice
  EXPECT_EQ(editor.ControlCount(), 1);
  editor.ParamToControls(-5, 0.2, false);
  editor.ParamToControls(99, 0.2, true);
  editor.PromptParamValue(nullptr, rig.plug.ParamAt(kGain), {});
  editor.PromptParamValue(probe, nullptr, {});
  editor.HandleMouseDrag(INT32_MIN, INT32_MAX, kLeft);
  EXPECT_EQ(probe->Value(), 0.5);
}

TEST_F(Dispatch, ControlBoundToAMissingParameterSendsNothing) {
  ProbeControl* probe = Probe({10, 10, 50, 50}, 77);
  editor.HandleMouseDown(20, 20, kLeft);
  editor.HandleWheel(20, 20, kNoButtons, 3);
  editor.HandleMouseUp(20, 20, kLeft);
  EXPECT_DOUBLE_EQ(probe->Value(), 0.03);
  EXPECT_TRUE(log.empty());
}

TEST_F(Dispatch, ResizeRemovesControlsRemakesBitmapsAndTellsThePlugIn) {
  Probe({10, 10, 50, 50}, kGain);
  editor.HandleMouseDown(20, 20, kLeft);
  log.clear();
  editor.Resize(300, 150);
  EXPECT_EQ(editor.ControlCount(), 0);
  EXPECT_EQ(editor.CapturedControl(), -1);
  EXPECT_EQ(editor.Width(), 300);
  ASSERT_NE(editor.DrawBitmap(), nullptr);
  EXPECT_EQ(editor.DrawBitmap()->Width(), 300);
  EXPECT_EQ(editor.DrawBitmap()->Height(), 150);
  EXPECT_EQ(log, (Log{"resize 300x150"}));
  editor.HandleMouseUp(20, 20, kLeft);
  EXPECT_EQ(editor.DrawControls({0, 0, 300, 150}), true);

  editor.Resize(-4, 1 << 30);  // absurd: no pixels, nothing breaks
  EXPECT_EQ(editor.DrawBitmap()->PixelData(), nullptr);
}

TEST_F(Dispatch, ControlThatResizesTheEditorOnPressIsNotTouchedAfterwards) {
  struct ResizingControl : ProbeControl {
    using ProbeControl::ProbeControl;
    void MouseDown(int32_t, int32_t, const MouseMods&) override { Plug()->GetEditor()->Resize(100, 50); }
  };
  rig.Add(new ResizingControl(&rig.plug, {10, 10, 50, 50}, kGain));
  editor.HandleMouseDown(20, 20, kLeft);
  EXPECT_EQ(log, (Log{"resize 100x50"}));
}

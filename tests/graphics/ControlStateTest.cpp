#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "GraphicsTestSupport.h"
#include "graphics/PopupMenu.h"

using namespace graphics_test;
using Log = std::vector<std::string>;

namespace {

struct ControlState : ::testing::Test {
  EditorRig rig;
  HeadlessEditor& editor = *rig.editor;

  ProbeControl* Probe(const PixelRect& rect, int32_t param = -1) {
    return rig.Add(new ProbeControl(&rig.plug, rect, param));
  }
  // One draw pass over the whole editor.
  void DrawAll() { editor.DrawControls({0, 0, editor.Width(), editor.Height()}); }
};

}  // namespace

TEST_F(ControlState, FirstPushedValueBecomesTheDefaultWithoutMarking) {
  auto* probe = new ProbeControl(&rig.plug, {10, 10, 20, 20}, kGain);
  editor.AddControl(probe);
  DrawAll();
  EXPECT_FALSE(probe->NeedsDraw());
  probe->ValueFromPlug(0.3);
  EXPECT_EQ(probe->Value(), 0.3);
  EXPECT_EQ(probe->DefaultValue(), 0.3);
  EXPECT_FALSE(probe->NeedsDraw());
  probe->ValueFromPlug(0.3);
  EXPECT_FALSE(probe->NeedsDraw());
  probe->ValueFromPlug(0.4);
  EXPECT_TRUE(probe->NeedsDraw());
  EXPECT_EQ(probe->DefaultValue(), 0.3);
  EXPECT_TRUE(rig.plug.log.empty());  // values from the plug-in are not sent back
}

TEST_F(ControlState, ChangedControlIsDrawnOnTwoPassesAndUserChangesOnOne) {
  ProbeControl* probe = Probe({10, 10, 20, 20}, kGain);
  DrawAll();
  EXPECT_EQ(probe->draws, 1);
  editor.ParamToControls(kGain, 0.9, true);
  PixelRect dirty;
  for (int pass = 0; pass < 3; ++pass) {
    if (editor.CollectDirty(dirty)) editor.DrawControls(dirty);
  }
  EXPECT_EQ(probe->draws, 3);
  EXPECT_EQ(editor.PresentCount(), 3);
  EXPECT_EQ(editor.LastPresented(), (PixelRect{10, 10, 20, 20}));

  probe->Wheel(0, 0, kNoButtons, 1);  // a user change: one pass
  for (int pass = 0; pass < 3; ++pass) {
    if (editor.CollectDirty(dirty)) editor.DrawControls(dirty);
  }
  EXPECT_EQ(probe->draws, 4);
}

TEST_F(ControlState, CollectDirtyUnitesRectsAndReportsAllClean) {
  ProbeControl* a = Probe({10, 10, 20, 20});
  ProbeControl* b = Probe({50, 5, 60, 30});
  Probe({});
  DrawAll();
  PixelRect dirty{1, 2, 3, 4};
  EXPECT_FALSE(editor.CollectDirty(dirty));
  EXPECT_TRUE(dirty.IsEmpty());

  a->MarkDirty(false);
  b->MarkDirty(false);
  editor.ControlAt(2)->MarkDirty(false);  // an empty rect adds nothing
  EXPECT_TRUE(editor.CollectDirty(dirty));
  EXPECT_EQ(dirty, (PixelRect{10, 5, 60, 30}));
}

TEST_F(ControlState, DrawPassSkipsHiddenAndDistantControlsButMarksThemDrawn) {
  ProbeControl* near = Probe({10, 10, 20, 20});
  ProbeControl* far = Probe({100, 50, 120, 70});
  ProbeControl* hidden = Probe({10, 10, 20, 20});
  hidden->SetHidden(true);
  editor.DrawControls({0, 0, 30, 30});
  EXPECT_EQ(near->draws, 1);
  EXPECT_EQ(far->draws, 0);
  EXPECT_EQ(hidden->draws, 0);
  EXPECT_FALSE(far->NeedsDraw());
  EXPECT_TRUE(hidden->NeedsDraw());  // hiding asks for a second pass
  // A control touching the redraw rect's right or bottom edge is drawn; one
  // touching its left or top edge is not.
  editor.DrawControls({20, 20, 100, 50});
  EXPECT_EQ(near->draws, 1);
  EXPECT_EQ(far->draws, 1);
  editor.DrawControls({});
  EXPECT_EQ(near->draws, 1);
}

TEST_F(ControlState, ParamToControlsNormalisesNaturalValues) {
  ProbeControl* gain = Probe({0, 0, 10, 10}, kGain);
  ProbeControl* curve = Probe({0, 0, 10, 10}, kCurve);
  ProbeControl* other = Probe({0, 0, 10, 10}, kPower);
  editor.ParamToControls(kGain, 2.5, false);
  EXPECT_DOUBLE_EQ(gain->Value(), 0.25);
  editor.ParamToControls(kGain, 40.0, false);  // clamped to max
  EXPECT_DOUBLE_EQ(gain->Value(), 1.0);
  editor.ParamToControls(kCurve, 2.5, false);  // shape 2: square root
  EXPECT_DOUBLE_EQ(curve->Value(), 0.5);
  editor.ParamToControls(kGain, 0.7, true);
  EXPECT_DOUBLE_EQ(gain->Value(), 0.7);
  EXPECT_EQ(other->Value(), 0.0);
}

TEST_F(ControlState, AuxiliaryParametersTakeTheirFirstMatchingEntry) {
  ProbeControl* probe = Probe({0, 0, 10, 10}, kGain);
  ASSERT_TRUE(probe->AddAuxParam(kMode));
  ASSERT_TRUE(probe->AddAuxParam(kOffset));
  ASSERT_TRUE(probe->AddAuxParam(kMode));
  DrawAll();
  editor.ParamToControls(kMode, 0.5, true);
  EXPECT_EQ(probe->AuxParamAt(0)->value, 0.5);
  EXPECT_EQ(probe->AuxParamAt(2)->value, 0.0);
  EXPECT_TRUE(probe->NeedsDraw());
  EXPECT_EQ(probe->Value(), 0.5);  // the main value is the gain's
  probe->AuxValueFromPlug(7, 1.0);
  probe->AuxValueFromPlug(-1, 1.0);
  EXPECT_EQ(probe->AuxParamAt(7), nullptr);
}

TEST_F(ControlState, NonNumbersFromThePlugInAreIgnored) {
  ProbeControl* probe = Probe({0, 0, 10, 10}, kGain);
  probe->ValueFromPlug(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(probe->Value(), 0.5);
  probe->SetValueFromUser(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(probe->Value(), 0.5);
  EXPECT_TRUE(rig.plug.log.empty());
}

TEST_F(ControlState, GrayingSetsQuarterWeightAndHidingMarks) {
  ProbeControl* probe = Probe({0, 0, 10, 10});
  DrawAll();
  probe->SetGrayed(true);
  EXPECT_EQ(probe->Blend().weight, 0.25f);
  EXPECT_TRUE(probe->NeedsDraw());
  EXPECT_FALSE(probe->PendingRedraw());
  probe->SetGrayed(false);
  EXPECT_EQ(probe->Blend().weight, 1.0f);
  probe->SetHidden(true);
  EXPECT_TRUE(probe->PendingRedraw());
}

TEST_F(ControlState, UserChangeUpdatesValueAndNameDisplays) {
  auto* valueText = rig.Add(new TextControl(&rig.plug, {0, 0, 40, 12}, TextStyle{}, "0"));
  auto* nameText = rig.Add(new TextControl(&rig.plug, {0, 20, 40, 32}, TextStyle{}, ""));
  ProbeControl* offset = Probe({50, 50, 60, 60}, kOffset);
  ProbeControl* mode = Probe({70, 50, 80, 60}, kMode);
  offset->SetValueDisplay(valueText);
  offset->SetNameDisplay(nameText);
  mode->SetValueDisplay(valueText);
  offset->SetValueFromUser(0.7);  // 3.5 shown negated
  EXPECT_STREQ(valueText->Text(), "-3.5");
  EXPECT_STREQ(nameText->Text(), "Offset");
  mode->SetValueFromUser(1.0);
  EXPECT_STREQ(valueText->Text(), "wild");
  EXPECT_STREQ(nameText->Text(), "Offset");
}

TEST_F(ControlState, SetTextMarksOnlyOnChange) {
  auto* text = rig.Add(new TextControl(&rig.plug, {0, 0, 40, 12}, TextStyle{}, "abc"));
  DrawAll();
  text->SetText("abc");
  EXPECT_FALSE(text->NeedsDraw());
  text->SetText("abd");
  EXPECT_TRUE(text->NeedsDraw());
  EXPECT_STREQ(text->Text(), "abd");
  text->SetText(nullptr);
  EXPECT_STREQ(text->Text(), "");
}

TEST_F(ControlState, ClampRangeBoundsEveryUserValue) {
  ProbeControl* probe = Probe({0, 0, 10, 10}, kGain);
  probe->SetClampRange(0.2, 0.8);
  probe->Wheel(0, 0, kNoButtons, 100);
  EXPECT_EQ(probe->Value(), 0.8);
  probe->Wheel(0, 0, kNoButtons, -100);
  EXPECT_EQ(probe->Value(), 0.2);
}

// Prompting for a value.

namespace {

struct Prompt : ControlState {
  PopupMenu* shownMenu = nullptr;
  PixelRect shownRect;
  Log shownItems;

  // Picks item `index` of the shown menu after recording it.
  void ChooseItem(int32_t index) {
    editor.menuScript = [this, index](PopupMenu& menu, const PixelRect& rect) {
      shownMenu = &menu;
      shownRect = rect;
      for (int32_t i = 0; i < menu.ItemCount(); ++i) {
        const PopupMenuItem* item = menu.ItemAt(i);
        shownItems.push_back(std::string(item->text.Get()) + ((item->flags & kItemChecked) ? "*" : ""));
      }
      return HeadlessEditor::MenuChoice{&menu, index};
    };
  }
};

}  // namespace

TEST_F(Prompt, BoolParameterOffersItsValuesWithTheCurrentOneChecked) {
  ProbeControl* power = Probe({20, 30, 60, 50}, kPower);
  rig.plug.ParamAt(kPower)->SetValue(1.0);
  editor.ParamToControls(kPower, 1.0, false);
  ChooseItem(0);
  editor.PromptParamValue(power, rig.plug.ParamAt(kPower), power->Rect());
  EXPECT_EQ(shownItems, (Log{"off", "on*"}));
  EXPECT_EQ(shownRect, power->Rect());
  EXPECT_EQ(power->Value(), 0.0);
  EXPECT_TRUE(power->PendingRedraw());
  EXPECT_EQ(rig.plug.log, (Log{"set 1 0"}));
  EXPECT_EQ(rig.plug.ParamAt(kPower)->Value(), 0.0);
}

TEST_F(Prompt, ChoosingTheCurrentValueOrDismissingChangesNothing) {
  ProbeControl* mode = Probe({20, 30, 60, 50}, kMode);
  ChooseItem(0);
  editor.PromptParamValue(mode, rig.plug.ParamAt(kMode), mode->Rect());
  EXPECT_EQ(shownItems, (Log{"soft*", "hard", "wild"}));
  editor.menuScript = nullptr;
  editor.PromptParamValue(mode, rig.plug.ParamAt(kMode), mode->Rect());
  ChooseItem(17);  // not an item
  editor.PromptParamValue(mode, rig.plug.ParamAt(kMode), mode->Rect());
  EXPECT_TRUE(rig.plug.log.empty());
  EXPECT_EQ(mode->Value(), 0.0);
}

TEST_F(Prompt, RightClickPromptsOnlyWhenEnabled) {
  ProbeControl* mode = Probe({20, 30, 60, 50}, kMode);
  ChooseItem(2);
  editor.HandleMouseDown(25, 35, kRight);
  editor.HandleMouseUp(25, 35, kRight);
  EXPECT_EQ(shownMenu, nullptr);  // prompting starts disabled
  EXPECT_EQ(rig.plug.log, (Log{"begin 2", "end 2"}));

  rig.plug.log.clear();
  mode->SetPromptDisabled(false);
  editor.HandleMouseDown(25, 35, kRight);
  editor.HandleMouseUp(25, 35, kRight);
  EXPECT_NE(shownMenu, nullptr);
  EXPECT_EQ(shownRect, mode->Rect());  // display texts: the control's own rect
  EXPECT_EQ(mode->Value(), 1.0);
  // The menu took the mouse, so the release found the control by position.
  EXPECT_EQ(rig.plug.log, (Log{"set 2 1", "begin 2", "end 2"}));
}

TEST_F(Prompt, DoubleParameterOpensATextEntryWithTheShownNumber) {
  ProbeControl* gain = Probe({20, 30, 61, 51}, kGain);
  gain->SetPromptDisabled(false);
  gain->MouseDown(25, 35, kRight);
  ASSERT_EQ(editor.TextEntryCount(), 1);
  const auto& entry = editor.LastTextEntry();
  EXPECT_EQ(entry.control, gain);
  EXPECT_EQ(entry.param, rig.plug.ParamAt(kGain));
  EXPECT_EQ(entry.initialText, "5.00");
  EXPECT_EQ(entry.rect, (PixelRect{25, 32, 55, 48}));  // 30 x 16 around (40, 40)
  EXPECT_TRUE(gain->PendingRedraw());

  ProbeControl* offset = Probe({0, 0, 10, 10}, kOffset);
  editor.PromptParamValue(offset, rig.plug.ParamAt(kOffset), {});
  EXPECT_EQ(editor.LastTextEntry().initialText, "-2.5");
  ProbeControl* curve = Probe({0, 0, 10, 10}, kCurve);
  rig.plug.ParamAt(kCurve)->SetValue(7.9);
  editor.PromptParamValue(curve, rig.plug.ParamAt(kCurve), {});
  EXPECT_EQ(editor.LastTextEntry().initialText, "7");
  EXPECT_TRUE(rig.plug.log.empty());
}

// The popup menu record.

TEST(PopupMenuRecord, ItemsSeparatorsAndNumberedTexts) {
  PopupMenu menu;
  EXPECT_EQ(menu.chosenItem, -1);
  menu.AddItem("one");
  menu.AddSeparator();
  for (int i = 0; i < 3; ++i) menu.AddItem("more");
  ASSERT_EQ(menu.ItemCount(), 5);
  EXPECT_TRUE(menu.ItemAt(1)->IsSeparator());
  EXPECT_TRUE(menu.ItemAt(0)->notAPreset);
  EXPECT_EQ(menu.ItemAt(5), nullptr);
  EXPECT_EQ(menu.ItemAt(-1), nullptr);

  TextBuf shown;
  menu.numbering = 3;
  menu.ShownText(4, shown);
  EXPECT_STREQ(shown.Get(), "005: more");
  menu.numbering = 1;
  menu.ShownText(0, shown);
  EXPECT_STREQ(shown.Get(), "1: one");
  menu.numbering = 0;
  menu.ShownText(0, shown);
  EXPECT_STREQ(shown.Get(), "one");
  menu.ShownText(9, shown);
  EXPECT_STREQ(shown.Get(), "");
}

TEST(PopupMenuRecord, CommandIdsNumberSubmenusAfterTheirParents) {
  PopupMenu root;
  root.AddSeparator();
  auto* first = new PopupMenu;
  auto* nested = new PopupMenu;
  nested->AddItem("deep");
  first->AddItem("a");
  first->AddItem("nested", nested);
  root.AddItem("folder", first);
  auto* second = new PopupMenu;
  second->AddItem("b");
  root.AddItem("other", second);
  // ids: root 0-2, first 3-4, nested 5, second 6
  EXPECT_EQ(root.CommandCount(), 7);
  EXPECT_EQ(root.ChooseByCommand(3), first);
  EXPECT_EQ(first->chosenItem, 0);
  EXPECT_EQ(root.ChooseByCommand(5), nested);
  EXPECT_EQ(root.ChooseByCommand(6), second);
  EXPECT_EQ(root.ChooseByCommand(1), &root);
  EXPECT_EQ(root.chosenItem, 1);
  EXPECT_EQ(root.ChooseByCommand(7), nullptr);
  EXPECT_EQ(root.ChooseByCommand(-1), nullptr);
}

TEST(PopupMenuRecord, SeparatorThenSubmenuChoosesTheSubmenusFirstItemAsId2) {
  PopupMenu root;
  root.AddSeparator();
  auto* submenu = new PopupMenu;
  submenu->AddItem("x");
  root.AddItem("sub", submenu);
  EXPECT_EQ(root.ChooseByCommand(2), submenu);
  EXPECT_EQ(submenu->chosenItem, 0);
  EXPECT_EQ(root.chosenItem, -1);
}

// The Windows editor's own decisions: key mapping, wheel steps, timer period,
// the entry box's character filter, commit value and bounds, the file
// filter, menu texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "graphics/GuiTypes.h"
#include "graphics/EditorTickAndEntry.h"
#include "graphics/win/WinEditorLogic.h"
#include "plugin/PlugParam.h"

using namespace winui;

namespace {
// A literal with embedded terminators, whole.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}
}  // namespace

TEST(WinEditorLogic, TimerPeriodFollowsTheFrameRate) {
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(25), 40);
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(30), 33);
  // A broken frame rate must not divide by zero.
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(0), 40);
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(-5), 40);
}

TEST(WinEditorLogic, VirtualKeysMapToEditorKeyCodes) {
  EXPECT_EQ(KeyCodeFor(0x20), KeyCode::Space);
  EXPECT_EQ(KeyCodeFor(0x26), KeyCode::ArrowUp);
  EXPECT_EQ(KeyCodeFor(0x28), KeyCode::ArrowDown);
  EXPECT_EQ(KeyCodeFor(0x25), KeyCode::ArrowLeft);
  EXPECT_EQ(KeyCodeFor(0x27), KeyCode::ArrowRight);
  EXPECT_EQ(KeyCodeFor('0'), 5);
  EXPECT_EQ(KeyCodeFor('9'), 14);
  EXPECT_EQ(KeyCodeFor('A'), 15);
  EXPECT_EQ(KeyCodeFor('Z'), 40);
  EXPECT_EQ(KeyCodeFor(0x61), 15);
  EXPECT_EQ(KeyCodeFor(0x7A), 40);
  // Neighbours of the ranges, and F12, go to the host.
  for (uint32_t key : {0x1Fu, 0x2Fu, 0x3Au, 0x40u, 0x5Bu, 0x60u, 0x7Bu, 0x0Du, 0x1Bu}) {
    EXPECT_EQ(KeyCodeFor(key), -1) << key;
  }
}

TEST(WinEditorLogic, WheelStepsDropTheFraction) {
  EXPECT_EQ(WheelSteps(240), 2);
  EXPECT_EQ(WheelSteps(-120), -1);
  EXPECT_EQ(WheelSteps(60), 0);
  EXPECT_EQ(WheelSteps(-60), 0);
  EXPECT_EQ(WheelSteps(-359), -2);
}

TEST(WinEditorLogic, EntryFilterFollowsTheParameterKind) {
  PlugParam level;
  level.DefineDouble("Level", 0.5, 0.0, 1.0, 0.01);
  for (char c : std::string("-0.5+9")) EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(&level, uint32_t(c))) << c;
  EXPECT_FALSE(EditorTickAndEntry::EntryAccepts(&level, 'e'));
  EXPECT_FALSE(EditorTickAndEntry::EntryAccepts(&level, ','));

  PlugParam flag;
  flag.DefineBool("Flag");
  PlugParam mode;
  mode.DefineEnum("Mode", 4);
  for (PlugParam* whole : {&flag, &mode}) {
    EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(whole, '1'));
    EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(whole, '-'));
    EXPECT_FALSE(EditorTickAndEntry::EntryAccepts(whole, '.'));
    EXPECT_FALSE(EditorTickAndEntry::EntryAccepts(whole, 'o'));
    EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(whole, 0x08));  // backspace always passes
  }

  // Free text takes everything.
  EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(nullptr, 'e'));
  EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(nullptr, 0xE9));
}

TEST(WinEditorLogic, CommittedTextBecomesANaturalValue) {
  PlugParam level;
  level.DefineDouble("Level", 0.5, -10.0, 10.0, 0.01);
  double raw = 99.0;
  ASSERT_TRUE(EntryRawValue(level, "0.5", &raw));
  EXPECT_DOUBLE_EQ(raw, 0.5);
  ASSERT_TRUE(EntryRawValue(level, " +7", &raw));
  EXPECT_DOUBLE_EQ(raw, 7.0);
  ASSERT_TRUE(EntryRawValue(level, "-2.25", &raw));
  EXPECT_DOUBLE_EQ(raw, -2.25);
  ASSERT_TRUE(EntryRawValue(level, "12abc", &raw));
  EXPECT_DOUBLE_EQ(raw, 12.0);
  // Plain decimals only, as the character filter allows.
  ASSERT_TRUE(EntryRawValue(level, "1e5", &raw));
  EXPECT_DOUBLE_EQ(raw, 1.0);

  // Not a number: nothing is committed.
  raw = 99.0;
  EXPECT_FALSE(EntryRawValue(level, "", &raw));
  EXPECT_FALSE(EntryRawValue(level, "-", &raw));
  EXPECT_FALSE(EntryRawValue(level, "abc", &raw));
  EXPECT_FALSE(EntryRawValue(level, nullptr, &raw));

  PlugParam shown;
  shown.DefineDouble("Gain", 0.0, -10.0, 10.0, 0.1);
  shown.SetNegateDisplay(true);
  ASSERT_TRUE(EntryRawValue(shown, "3", &raw));
  EXPECT_DOUBLE_EQ(raw, -3.0);

  PlugParam flag;
  flag.DefineBool("Flag");
  ASSERT_TRUE(EntryRawValue(flag, "on", &raw));
  EXPECT_DOUBLE_EQ(raw, 1.0);
  ASSERT_TRUE(EntryRawValue(flag, "1", &raw));
  EXPECT_DOUBLE_EQ(raw, 1.0);
  EXPECT_FALSE(EntryRawValue(flag, "yes", &raw));
}

TEST(WinEditorLogic, FileFilterListsEachExtensionTwice) {
  std::string extension;
  EXPECT_EQ(FileFilter("tvpreset", &extension), Bytes("*.tvpreset\0*.tvpreset\0\0"));
  EXPECT_EQ(extension, "tvpreset");
  EXPECT_EQ(FileFilter("wav aif", &extension), Bytes("*.wav;*.aif\0*.wav;*.aif\0\0"));
  EXPECT_EQ(extension, "wav");
  EXPECT_EQ(FileFilter("  wav  ", &extension), Bytes("*.wav\0*.wav\0\0"));
  EXPECT_TRUE(FileFilter("", &extension).empty());
  EXPECT_TRUE(extension.empty());
  EXPECT_TRUE(FileFilter(nullptr, nullptr).empty());
}

TEST(WinEditorLogic, ModuleFolderEndsWithItsBackslash) {
  EXPECT_EQ(FolderOfModulePath("C:\\Program Files\\VST\\Thudra.dll"), "C:\\Program Files\\VST\\");
  EXPECT_EQ(FolderOfModulePath("Thudra.dll"), "");
  EXPECT_EQ(FolderOfModulePath("C:\\VST\\"), "");
  EXPECT_EQ(FolderOfModulePath(""), "");
}

TEST(WinEditorLogic, MenuTextShowsAmpersandsAsThemselves) {
  EXPECT_EQ(MenuItemText("Kick & Snare"), "Kick && Snare");
  EXPECT_EQ(MenuItemText("&&&"), "&&&&&&");
  EXPECT_EQ(MenuItemText("\xc3\x9c"
                         "bersteuert & Co"),
            "\xc3\x9c"
            "bersteuert && Co");
  EXPECT_EQ(MenuItemText("Plain"), "Plain");
  EXPECT_EQ(MenuItemText(""), "");
  EXPECT_EQ(MenuItemText(nullptr), "");
}

TEST(WinEditorLogic, EntryBoxHoldsItsTextAndStaysInTheEditor) {
  // The knob's 30 x 16 prompt in a 592 x 442 editor.
  const PixelRect prompt{405, 144, 435, 160};
  // A short text keeps the prompt's own box (edges included).
  EXPECT_EQ(EntryBoxBounds(prompt, 10, 13, 592, 442), (PixelRect{405, 144, 436, 161}));
  // A wider text widens it about the same centre, with the insets.
  const PixelRect wide = EntryBoxBounds(prompt, 44, 13, 592, 442);
  EXPECT_EQ(wide.Width(), 44 + 2 * kEntryTextInset + 1);
  EXPECT_LE(std::abs((wide.left + wide.right) - (405 + 436)), 1);
  EXPECT_EQ(wide.top, 144);
  // A tall font heightens it.
  const PixelRect tall = EntryBoxBounds(prompt, 10, 24, 592, 442);
  EXPECT_EQ(tall.Height(), 26);
  EXPECT_LE(std::abs((tall.top + tall.bottom) - (144 + 161)), 1);
  // Near an edge the box moves inside rather than off the editor.
  const PixelRect corner = EntryBoxBounds(PixelRect{0, 0, 30, 16}, 60, 13, 592, 442);
  EXPECT_EQ(corner.left, 0);
  EXPECT_EQ(corner.Width(), 60 + 2 * kEntryTextInset + 1);
  const PixelRect right = EntryBoxBounds(PixelRect{570, 430, 591, 441}, 60, 13, 592, 442);
  EXPECT_EQ(right.right, 592);
  EXPECT_EQ(right.bottom, 442);
  // A box larger than the editor is centred and left as it is.
  const PixelRect huge = EntryBoxBounds(PixelRect{10, 10, 20, 20}, 900, 13, 592, 442);
  EXPECT_EQ(huge.Width(), 900 + 2 * kEntryTextInset + 1);
  // Absurd inputs give a bounded box, not an overflow.
  const PixelRect absurd = EntryBoxBounds(PixelRect{INT32_MAX - 5, 0, INT32_MAX, 16}, INT32_MAX, -4, 592, 442);
  EXPECT_GT(absurd.Width(), 0);
  EXPECT_GT(absurd.Height(), 0);
}

// The shared tick and text-entry state machine, without any window.
#include "graphics/EditorTickAndEntry.h"

#include <gtest/gtest.h>

#include "tests/graphics/GraphicsTestSupport.h"

namespace {

using namespace graphics_test;

// A window layer that only records what the tick asked of it.
struct RecordingWindow : EntryBoxWindow {
  std::string text;
  int destroyed = 0;
  std::vector<PixelRect> painted;
  std::string EntryBoxText() override { return text; }
  void DestroyEntryBox() override { ++destroyed; }
  void PaintControls(const PixelRect& rect) override { painted.push_back(rect); }
};

class TickerTest : public ::testing::Test {
protected:
  TickerTest() : ticker(*rig.editor) {
    gain = rig.Add(new ProbeControl(&rig.plug, {10, 10, 30, 30}, kGain));
    for (int32_t i = 0; i < rig.editor->ControlCount(); ++i) rig.editor->ControlAt(i)->MarkDrawn();
  }
  double Natural(int32_t index) { return rig.plug.ParamAt(index)->Value(); }
  void Commit(Control* control, int32_t index, const char* text) {
    ticker.EntryOpened(control, rig.plug.ParamAt(index));
    ticker.CommitEntry();
    window.text = text;
    ticker.Tick(window);
  }

  EditorRig rig;
  EditorTickAndEntry ticker;
  RecordingWindow window;
  ProbeControl* gain = nullptr;
};

TEST(TickerPeriod, FollowsFrameRateAndFallsBackForNonsense) {
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(25), 40);
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(30), 33);
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(0), 40);
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(-5), 40);
  EXPECT_EQ(EditorTickAndEntry::PeriodMs(1000), 1);
}

TEST_F(TickerTest, DueOncePerPeriodWithoutCatchingUp) {
  const auto start = EditorTickAndEntry::Clock::now();
  EXPECT_TRUE(ticker.Due(start));
  EXPECT_FALSE(ticker.Due(start + std::chrono::milliseconds(39)));
  EXPECT_TRUE(ticker.Due(start + std::chrono::milliseconds(40)));
  // After a long stall one tick runs, not a burst.
  EXPECT_TRUE(ticker.Due(start + std::chrono::seconds(5)));
  EXPECT_FALSE(ticker.Due(start + std::chrono::seconds(5) + std::chrono::milliseconds(1)));
}

TEST(EntryNumber, AcceptsOnlyWholeFiniteDecimals) {
  double value = 0;
  EXPECT_TRUE(ParseEntryNumber("+1.5", value));
  EXPECT_EQ(value, 1.5);
  EXPECT_TRUE(ParseEntryNumber(" -2 ", value));
  EXPECT_EQ(value, -2.0);
  EXPECT_TRUE(ParseEntryNumber(".5", value));
  EXPECT_EQ(value, 0.5);
  for (const char* bad : {"", " ", "+", "-", "+-1", "1.2.3", "1e3", "5abc", "inf", "nan", "0x10"})
    EXPECT_FALSE(ParseEntryNumber(bad, value)) << bad;
  EXPECT_FALSE(ParseEntryNumber(nullptr, value));
}

TEST_F(TickerTest, CharacterFilterFollowsParameterKind) {
  const PlugParam* gainParam = rig.plug.ParamAt(kGain);
  const PlugParam* power = rig.plug.ParamAt(kPower);
  const PlugParam* mode = rig.plug.ParamAt(kMode);
  for (char c : std::string("-0.5+")) EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(gainParam, uint32_t(c)));
  EXPECT_FALSE(EditorTickAndEntry::EntryAccepts(gainParam, 'e'));
  EXPECT_FALSE(EditorTickAndEntry::EntryAccepts(power, '.'));
  EXPECT_FALSE(EditorTickAndEntry::EntryAccepts(mode, '.'));
  EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(mode, '7'));
  for (const PlugParam* param : {gainParam, power, mode})
    EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(param, 8));  // backspace
  EXPECT_TRUE(EditorTickAndEntry::EntryAccepts(nullptr, 'e'));
}

TEST_F(TickerTest, CommitAppliesNumberAndClosesTheBox) {
  Commit(gain, kGain, "7.5");
  EXPECT_EQ(Natural(kGain), 7.5);
  EXPECT_EQ(window.destroyed, 1);
  EXPECT_FALSE(ticker.EntryOpen());
  EXPECT_EQ(ticker.State(), EntryState::Idle);
  EXPECT_EQ(rig.plug.log.back(), "set 0 0.75");
}

TEST_F(TickerTest, CommitNegatesForNegatedDisplayAndReadsListedTexts) {
  auto* offset = rig.Add(new ProbeControl(&rig.plug, {40, 10, 60, 30}, kOffset));
  Commit(offset, kOffset, "-1.5");
  EXPECT_EQ(Natural(kOffset), 1.5);

  auto* mode = rig.Add(new ProbeControl(&rig.plug, {70, 10, 90, 30}, kMode));
  Commit(mode, kMode, "wild");
  EXPECT_EQ(Natural(kMode), 2.0);
  // A number typed for a listed parameter is taken as its value.
  Commit(mode, kMode, "1");
  EXPECT_EQ(Natural(kMode), 1.0);
}

TEST_F(TickerTest, TextThatIsNotANumberChangesNothing) {
  const size_t logged = rig.plug.log.size();
  Commit(gain, kGain, "abc");
  Commit(gain, kGain, "");
  EXPECT_EQ(Natural(kGain), 5.0);
  EXPECT_EQ(rig.plug.log.size(), logged);
  EXPECT_EQ(window.destroyed, 2);
}

TEST_F(TickerTest, CancelClosesWithoutApplying) {
  ticker.EntryOpened(gain, rig.plug.ParamAt(kGain));
  window.text = "9";
  ticker.CancelEntry();
  ticker.Tick(window);
  EXPECT_EQ(Natural(kGain), 5.0);
  EXPECT_EQ(window.destroyed, 1);
  EXPECT_FALSE(ticker.EntryOpen());
}

TEST_F(TickerTest, FocusedAndRedrawnStatesLastOneTick) {
  ticker.EntryOpened(gain, rig.plug.ParamAt(kGain));
  ticker.EntryFocused();
  gain->MarkDirty(false);
  ticker.Tick(window);  // state 1 -> 0, nothing painted yet
  EXPECT_EQ(ticker.State(), EntryState::Idle);
  EXPECT_TRUE(window.painted.empty());
  ticker.Tick(window);  // dirty control painted around the box
  ASSERT_EQ(window.painted.size(), 1u);
  EXPECT_EQ(window.painted[0], (PixelRect{10, 10, 30, 30}));
  EXPECT_EQ(ticker.State(), EntryState::Redrawn);
  ticker.Tick(window);
  EXPECT_EQ(ticker.State(), EntryState::Idle);
  EXPECT_TRUE(ticker.EntryOpen());
  EXPECT_EQ(window.destroyed, 0);
}

TEST_F(TickerTest, PressOnlyCancelsRightAfterFocus) {
  EXPECT_FALSE(ticker.PressOnlyCancels());  // no box
  ticker.EntryOpened(gain, nullptr);
  EXPECT_FALSE(ticker.PressOnlyCancels());
  ticker.EntryFocused();
  EXPECT_TRUE(ticker.PressOnlyCancels());
  EXPECT_EQ(ticker.State(), EntryState::Cancel);
}

TEST_F(TickerTest, StateRequestsWithoutABoxAreIgnored) {
  ticker.CommitEntry();
  ticker.CancelEntry();
  EXPECT_EQ(ticker.State(), EntryState::Idle);
  ticker.EntryOpened(nullptr, rig.plug.ParamAt(kGain));
  EXPECT_FALSE(ticker.EntryOpen());
}

}  // namespace

#include <algorithm>
#include <cmath>

#include "tests/instrument/ThudrixFixture.h"

using ThudrixRender = ThudrixFixture;

namespace {
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;

std::vector<double> Concat(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
double Peak(const std::vector<double>& v, size_t from = 0, size_t to = SIZE_MAX) {
  double peak = 0;
  for (size_t i = from; i < v.size() && i < to; ++i) peak = std::max(peak, std::fabs(v[i]));
  return peak;
}
}  // namespace

TEST_F(ThudrixRender, SilentUntilTheFirstHitAndChannelsEqual) {
  auto [left, right] = Render(256);
  for (double v : left) EXPECT_EQ(v, 0.0);
  for (double v : right) EXPECT_EQ(v, 0.0);
  Midi(10, kNoteOn, 36, 100);
  auto [l2, r2] = Render(256);
  EXPECT_EQ(l2, r2);
  EXPECT_EQ(Peak(l2, 0, 10), 0.0);
  EXPECT_GT(Peak(l2), 0.01);
}

// The same hit scheduled by offset, or reached by rendering up to it first,
// must give the same samples: that is what sample accuracy means.
TEST_F(ThudrixRender, NoteStartsAtItsOffsetWithinTheBlock) {
  Midi(100, kNoteOn, 36, 100);
  auto scheduled = Render(256).first;
  scheduled = Concat(scheduled, Render(256).first);

  auto direct = MakeOpened(44100.0, 256);
  auto reached = RenderWith(*direct, 100).first;
  MidiTo(*direct, 0, kNoteOn, 36, 100);
  reached = Concat(reached, RenderWith(*direct, 156).first);
  reached = Concat(reached, RenderWith(*direct, 256).first);
  EXPECT_EQ(scheduled, reached);
  EXPECT_EQ(Peak(scheduled, 0, 100), 0.0);
  EXPECT_GT(Peak(scheduled, 100, 120), 0.0);
}

TEST_F(ThudrixRender, OffsetBeyondTheBlockPlaysInTheNextOne) {
  Midi(300, kNoteOn, 36, 100);
  const auto firstBlock = Render(256).first;
  EXPECT_EQ(Peak(firstBlock), 0.0);
  const auto second = Render(256).first;
  EXPECT_EQ(Peak(second, 0, 44), 0.0);
  EXPECT_GT(Peak(second, 44, 64), 0.0);

  auto direct = MakeOpened(44100.0, 256);
  RenderWith(*direct, 300);
  MidiTo(*direct, 0, kNoteOn, 36, 100);
  const auto reached = RenderWith(*direct, 212).first;
  EXPECT_TRUE(std::equal(reached.begin(), reached.end(), second.begin() + 44));
}

TEST_F(ThudrixRender, LongHostBlocksAreRenderedInPieces) {
  Midi(5000, kNoteOn, 36, 100);
  const auto whole = Render(8192).first;  // larger than the announced 256

  auto pieces = MakeOpened(44100.0, 256);
  MidiTo(*pieces, 5000, kNoteOn, 36, 100);
  std::vector<double> joined;
  for (int i = 0; i < 32; ++i) joined = Concat(joined, RenderWith(*pieces, 256).first);
  EXPECT_EQ(whole, joined);
}

TEST_F(ThudrixRender, SecondNoteAtTheSameOffsetWins) {
  SetNormalized(kParamMidiTuneFlag, 1.0f);
  Midi(20, kNoteOn, 45, 100);
  Midi(20, kNoteOn, 57, 100);
  const auto both = Render(2048).first;
  EXPECT_EQ(plug->Voice().Note(), 57);

  auto single = MakeOpened(44100.0, 256);
  single->SetParameterFromHost(kParamMidiTuneFlag, 1.0f);
  MidiTo(*single, 20, kNoteOn, 57, 100);
  EXPECT_EQ(both, RenderWith(*single, 2048).first);
}

TEST_F(ThudrixRender, NoteOffAndOtherMessagesDoNothing) {
  Midi(0, kNoteOff, 36, 100);
  Midi(3, 0xE0, 0, 64);
  EXPECT_EQ(Peak(Render(512).first), 0.0);
  EXPECT_TRUE(plug->Queue().Empty());
}

TEST_F(ThudrixRender, VelocityAccentAndNoteNumber) {
  SetNormalized(kParamMidiAccentFlag, 1.0f);
  Midi(0, kNoteOn, 36, 64);
  Render(16);
  EXPECT_FLOAT_EQ(plug->Voice().Accent(), 0.5f);
  EXPECT_DOUBLE_EQ(plug->Voice().ClickEnv().Gain(), 7.5);
  Midi(0, kNoteOn | 3, 36, 1);  // any channel
  Render(16);
  EXPECT_FLOAT_EQ(plug->Voice().Accent(), 0.0078125f);
}

TEST_F(ThudrixRender, LedLightsOnHitAndGoesOutAfterTenThousandSamples) {
  Midi(0, kNoteOn, 36, 100);
  Render(256);
  EXPECT_TRUE(plug->LedLit());
  for (int i = 0; i < 38; ++i) Render(256);  // 9984 samples since the hit
  EXPECT_TRUE(plug->LedLit());
  Render(256);  // now past 10000 at the end of this block
  EXPECT_FALSE(plug->LedLit());
}

TEST_F(ThudrixRender, TriggerParameterHitsAtTheBaseNote) {
  SetNormalized(kParamTrigger, 0.4f);  // rounds to 0: no hit
  EXPECT_EQ(Peak(Render(256).first), 0.0);
  SetNormalized(kParamTrigger, 1.0f);
  EXPECT_TRUE(plug->LedLit());
  const auto out = Render(256).first;
  EXPECT_GT(Peak(out, 0, 20), 0.0);
  EXPECT_EQ(plug->Voice().Note(), Thudrix::kBaseNote);
}

TEST_F(ThudrixRender, AHitSoundsLikeABassDrum) {
  Midi(0, kNoteOn, 36, 100);
  std::vector<double> out;
  for (int i = 0; i < 44100 * 2 / 256; ++i) out = Concat(out, Render(256).first);
  const double peak = Peak(out);
  EXPECT_GT(peak, 0.05);
  EXPECT_LT(peak, 1.0);
  // Fundamental once the pitch sweep has settled: about 55 Hz at defaults.
  int crossings = 0;
  for (size_t s = 4410 + 1; s < 4410 + 8820; ++s)
    if ((out[s - 1] < 0) != (out[s] < 0)) ++crossings;
  const double hz = crossings / 2.0 / 0.2;
  EXPECT_NEAR(hz, 55.0, 10.0);
  const std::vector<double> tail(out.begin() + 66150, out.end());
  EXPECT_LT(Peak(tail), peak * 0.05);
}

TEST_F(ThudrixRender, NullOutputsAreSafe) {
  Midi(0, kNoteOn, 36, 100);
  plug->ProcessDouble(nullptr, nullptr, 256);
  double* none[] = {nullptr, nullptr};
  plug->ProcessDouble(nullptr, none, 256);
  float* noneF[] = {nullptr, nullptr};
  plug->ProcessSingle(nullptr, noneF, 256, false);
  plug->ProcessSingle(nullptr, nullptr, -5, true);
  SUCCEED();
}

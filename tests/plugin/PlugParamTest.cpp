#include <gtest/gtest.h>

#include "plugin/PlugParam.h"

namespace {
std::string Display(const PlugParam& p, double v, bool normalized = false) {
  char out[PlugParam::kTextCapacity];
  p.DisplayTextForHost(v, normalized, out, true);
  return out;
}
}  // namespace

TEST(PlugParam, PrecisionFromStep) {
  PlugParam p;
  p.DefineDouble("x", 0, 0, 1, 1.0);
  EXPECT_EQ(p.Precision(), 0);
  p.DefineDouble("x", 0, 0, 1, 0.1);
  EXPECT_EQ(p.Precision(), 1);
  p.DefineDouble("x", 0, 0, 1, 0.0001);
  EXPECT_EQ(p.Precision(), 4);
  p.DefineDouble("x", 0, 0, 1, 1e-9);
  EXPECT_EQ(p.Precision(), 6);
  p.DefineDouble("x", 0, 5, 1, 1.0);  // max below min + step
  EXPECT_EQ(p.Max(), 6.0);
}

TEST(PlugParam, KindIsSetOnceAndBoolQuantises) {
  PlugParam p;
  p.DefineBool("flag", "images");
  EXPECT_EQ(p.Kind(), ParamKind::Bool);
  p.DefineDouble("flag", 0, 0, 1, 1, "images");
  EXPECT_EQ(p.Kind(), ParamKind::Bool);
  EXPECT_EQ(p.SetFromNormalized(0.5), 1.0);
  EXPECT_EQ(Display(p, p.Value()), "on");
  EXPECT_STREQ(p.UnitLabelForHost(), "");
  EXPECT_EQ(p.SetFromNormalized(0.49), 0.0);
  EXPECT_EQ(Display(p, p.Value()), "off");
  // The normalized route truncates before looking up: 0.7 is still "off".
  EXPECT_EQ(Display(p, 0.7, true), "off");
  // A value with no text falls back to the number and shows the label.
  p.SetValue(2);
  EXPECT_STREQ(p.UnitLabelForHost(), "images");
}

TEST(PlugParam, ShapeAndRange) {
  PlugParam p;
  p.DefineDouble("x", 0, 0, 10, 0.01);
  p.SetShape(2.0);
  EXPECT_DOUBLE_EQ(p.SetFromNormalized(0.5), 2.5);
  EXPECT_DOUBLE_EQ(p.NormalizedValue(), 0.5);
  p.SetValue(-3);
  EXPECT_EQ(p.NormalizedValue(), 0.0);
  p.SetValue(30);
  EXPECT_EQ(p.NormalizedValue(), 1.0);
  p.SetNaturalClamped(12);
  EXPECT_EQ(p.Value(), 10.0);
  EXPECT_EQ(p.SetFromNormalized(1.5), 10.0);  // capped at max
}

TEST(PlugParam, DoubleKindIsNotQuantised) {
  PlugParam pitch;
  pitch.DefineDouble("Pitch", 0.0, -12.0, 12.0, 1.0);
  EXPECT_NEAR(pitch.SetFromNormalized(0.52), 0.48, 1e-12);
  EXPECT_EQ(Display(pitch, pitch.Value()), "0");
}

TEST(PlugParam, DisplayFormatting) {
  PlugParam p;
  p.DefineDouble("x", 0, -10, 10, 1.0);
  EXPECT_EQ(Display(p, 2.7), "2");
  EXPECT_EQ(Display(p, -0.5), "0");
  EXPECT_EQ(Display(p, 1e300), "2147483647");  // absurd values stay bounded
  PlugParam q;
  q.DefineDouble("y", 0, -10, 10, 0.1);
  q.SetNegateDisplay(true);
  EXPECT_EQ(Display(q, 3.5), "-3.5");
  EXPECT_EQ(Display(q, -2), "2.0");
  PlugParam r;
  r.DefineDouble("Distort", 0.5, 0, 1, 0.0001);
  r.SetFromNormalized(0.25);
  EXPECT_EQ(Display(r, r.Value()), "0.2500");
}

TEST(PlugParam, EmptyDisplayTextFallsBackToNumber) {
  PlugParam p;
  p.DefineEnum("mode", 3);
  p.AddDisplayText(0, "");
  p.AddDisplayText(1, "one");
  EXPECT_EQ(Display(p, 0), "0");
  EXPECT_EQ(Display(p, 1), "one");
  EXPECT_EQ(Display(p, 2), "2");
}

TEST(PlugParam, LongTextsAreCut) {
  PlugParam p;
  const std::string longName(100, 'n');
  p.DefineBool(longName.c_str(), longName.c_str());
  EXPECT_EQ(std::string(p.Name()).size(), 31u);
  EXPECT_EQ(std::string(p.Label()).size(), 31u);
  p.AddDisplayText(2, longName.c_str());
  EXPECT_EQ(std::string(p.DisplayTextAt(2)->text).size(), 31u);
}

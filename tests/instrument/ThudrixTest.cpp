#include "tests/instrument/ThudrixFixture.h"

#include <string>

namespace {
std::string Display(Thudrix& plug, int32_t index) {
  char text[64] = {};
  plug.Dispatch(vst2::effGetParamDisplay, index, 0, text, 0);
  return text;
}
std::string Name(Thudrix& plug, int32_t index) {
  char text[64] = {};
  plug.Dispatch(vst2::effGetParamName, index, 0, text, 0);
  return text;
}
}  // namespace

using ThudrixParams = ThudrixFixture;

TEST_F(ThudrixParams, DefaultsNamesAndKinds) {
  const char* names[] = {
      "Pitch",   "Accent",       "Decay",          "TuneDecay", "Attack", "Hold",    "TuneDepth", "NoiseDecay",
      "Distort", "MidiTuneFlag", "MidiAccentFlag", "Learn",     "clear",  "Trigger", "Led",       "",
      ""};
  ASSERT_EQ(plug->ParamCount(), 17);
  for (int32_t i = 0; i < 17; ++i) EXPECT_EQ(Name(*plug, i), names[i]) << i;
  EXPECT_EQ(plug->ParamAt(kParamPitch)->Value(), 0.0);
  for (int32_t i = kParamAccent; i <= kParamDistort; ++i) {
    EXPECT_EQ(plug->ParamAt(i)->Value(), 0.5);
    EXPECT_EQ(plug->ParamAt(i)->Precision(), 4);
  }
  for (int32_t i = kParamMidiTuneFlag; i <= kParamTrigger; ++i) {
    EXPECT_EQ(plug->ParamAt(i)->Kind(), ParamKind::Bool);
    EXPECT_EQ(Display(*plug, i), "off");
  }
  EXPECT_EQ(plug->ParamAt(kParamLed)->Kind(), ParamKind::Enum);
  EXPECT_EQ(plug->ParamAt(kParamPresetNext)->Kind(), ParamKind::None);
  EXPECT_STREQ(plug->ParamAt(kParamLearn)->Label(), "images");
  EXPECT_STREQ(plug->ParamAt(kParamTrigger)->Label(), "");
}

TEST_F(ThudrixParams, HostSettingsAndDisplay) {
  SetNormalized(kParamPitch, 0.52f);
  EXPECT_NEAR(plug->ParamAt(kParamPitch)->Value(), 0.48, 1e-6);  // not rounded
  EXPECT_EQ(Display(*plug, kParamPitch), "0");
  SetNormalized(kParamDistort, 0.25f);
  EXPECT_EQ(Display(*plug, kParamDistort), "0.2500");
  SetNormalized(kParamMidiTuneFlag, 0.5f);
  EXPECT_EQ(plug->ParamAt(kParamMidiTuneFlag)->Value(), 1.0);
  EXPECT_EQ(Display(*plug, kParamMidiTuneFlag), "on");
  char label[64] = "x";
  plug->Dispatch(vst2::effGetParamLabel, kParamMidiTuneFlag, 0, label, 0);
  EXPECT_STREQ(label, "");
  EXPECT_EQ(plug->Voice().TuneMode(), 1);
}

TEST_F(ThudrixParams, ParameterChangesReachTheVoice) {
  SetNormalized(kParamDecay, 0.0f);
  EXPECT_FLOAT_EQ(float(plug->Voice().AmpEnv().ReleaseTau()), 0.01551f);
  SetNormalized(kParamHold, 1.0f);
  EXPECT_FLOAT_EQ(float(plug->Voice().AmpEnv().HoldTime()), 0.205f);
  SetNormalized(kParamAccent, 1.0f);
  EXPECT_DOUBLE_EQ(plug->Voice().ClickEnv().Gain(), 15.0);
}

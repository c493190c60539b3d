#include "tests/instrument/ThudrixFixture.h"

using ThudrixLearn = ThudrixFixture;

namespace {
constexpr uint8_t kControl = 0xB0;
}

TEST_F(ThudrixLearn, UnboundControllerOnlyQueues) {
  Midi(0, kControl, 7, 100);
  EXPECT_EQ(plug->ParamAt(kParamDecay)->Value(), 0.5);
  EXPECT_TRUE(log.automated.empty());
  EXPECT_EQ(plug->Queue().Unread(), 1);
}

TEST_F(ThudrixLearn, LearnBindsTheLastMovedKnob) {
  SetNormalized(kParamLearn, 1.0f);
  EXPECT_TRUE(plug->LearnMode());
  SetNormalized(kParamDecay, 0.3f);
  EXPECT_EQ(plug->LearnTarget(), kParamDecay);
  Midi(0, kControl, 74, 127);
  EXPECT_EQ(MidiLearnTable::Shared().Get(kParamDecay), 74);
  EXPECT_EQ(plug->ParamAt(kParamDecay)->Value(), 1.0);
  ASSERT_FALSE(log.automated.empty());
  EXPECT_EQ(log.automated.back().first, kParamDecay);

  SetNormalized(kParamLearn, 0.0f);
  Midi(0, kControl, 74, 0);
  EXPECT_EQ(plug->ParamAt(kParamDecay)->Value(), 0.0);
}

TEST_F(ThudrixLearn, RelearningMovesTheController) {
  SetNormalized(kParamLearn, 1.0f);
  SetNormalized(kParamAccent, 0.2f);
  Midi(0, kControl, 20, 10);
  SetNormalized(kParamHold, 0.2f);
  Midi(0, kControl, 20, 127);
  EXPECT_EQ(MidiLearnTable::Shared().Get(kParamAccent), -1);
  EXPECT_EQ(MidiLearnTable::Shared().Get(kParamHold), 20);
  SetNormalized(kParamLearn, 0.0f);
  const double accent = plug->ParamAt(kParamAccent)->Value();
  Midi(0, kControl, 20, 0);
  EXPECT_EQ(plug->ParamAt(kParamHold)->Value(), 0.0);
  EXPECT_EQ(plug->ParamAt(kParamAccent)->Value(), accent);
}

TEST_F(ThudrixLearn, ClearUnbindsMovedParametersAndEndsLearning) {
  SetNormalized(kParamLearn, 1.0f);
  SetNormalized(kParamDistort, 0.2f);
  Midi(0, kControl, 30, 64);
  SetNormalized(kParamClear, 1.0f);
  EXPECT_FALSE(plug->LearnMode());
  EXPECT_EQ(plug->ParamAt(kParamLearn)->Value(), 0.0);  // the host reads what the editor shows
  EXPECT_TRUE(plug->ClearMode());
  log.automated.clear();
  Render(1);  // the host is told on its next call, not inside its setParameter
  EXPECT_EQ(log.automated, (std::vector<std::pair<int32_t, float>>{{kParamLearn, 0.0f}}));
  SetNormalized(kParamDistort, 0.9f);
  EXPECT_EQ(MidiLearnTable::Shared().Get(kParamDistort), -1);
  SetNormalized(kParamLearn, 1.0f);  // learning again switches clear off
  EXPECT_FALSE(plug->ClearMode());
  EXPECT_EQ(plug->ParamAt(kParamClear)->Value(), 0.0);
  log.automated.clear();
  Render(1);
  EXPECT_EQ(log.automated, (std::vector<std::pair<int32_t, float>>{{kParamClear, 0.0f}}));
}

TEST_F(ThudrixLearn, LearningWithoutTargetOnlyUnbinds) {
  MidiLearnTable::Shared().Set(kParamAttack, 40);
  SetNormalized(kParamLearn, 1.0f);
  Midi(0, kControl, 40, 127);
  EXPECT_EQ(MidiLearnTable::Shared().Get(kParamAttack), -1);
  EXPECT_EQ(plug->ParamAt(kParamAttack)->Value(), 0.5);
}

TEST_F(ThudrixLearn, TableIsSharedBetweenInstances) {
  SetNormalized(kParamLearn, 1.0f);
  SetNormalized(kParamPitch, 0.5f);
  Midi(0, kControl, 11, 0);
  auto other = MakeOpened(48000.0, 128);
  MidiTo(*other, 0, kControl, 11, 127);
  EXPECT_EQ(other->ParamAt(kParamPitch)->Value(), 12.0);
}

TEST_F(ThudrixLearn, OnlyKnobsAndSwitchesFollowControllers) {
  MidiLearnTable::Shared().Set(kParamTrigger, 50);
  Midi(0, kControl, 50, 127);
  EXPECT_FALSE(plug->LedLit());
  MidiLearnTable::Shared().Set(kParamMidiTuneFlag, 51);
  Midi(0, kControl, 51, 127);
  EXPECT_EQ(plug->Voice().TuneMode(), 1);
}

#pragma once
// Runs a test suite once per instruction set this processor offers for the
// voice's lanes, and puts the widest back afterwards.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instrument/voice/VoiceStages.h"

inline VoiceLanes WidestVoiceLanes() {
  for (VoiceLanes lanes : {VoiceLanes::Avx512, VoiceLanes::Avx2})
    if (VoiceLanesAvailable(lanes)) return lanes;
  return VoiceLanes::Sse2;
}

inline std::vector<VoiceLanes> AvailableVoiceLanes() {
  std::vector<VoiceLanes> available;
  for (VoiceLanes lanes : {VoiceLanes::Sse2, VoiceLanes::Avx2, VoiceLanes::Avx512})
    if (VoiceLanesAvailable(lanes)) available.push_back(lanes);
  return available;
}

class OnEveryVoiceLaneSet : public testing::TestWithParam<VoiceLanes> {
protected:
  void SetUp() override { ASSERT_TRUE(SelectVoiceLanes(GetParam())); }
  void TearDown() override { SelectVoiceLanes(WidestVoiceLanes()); }
};

inline std::string VoiceLanesTestName(const testing::TestParamInfo<VoiceLanes>& info) {
  return VoiceLanesName(info.param);
}

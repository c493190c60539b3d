#include <gtest/gtest.h>

#include "instrument/Thudrix.h"

namespace {
vst2::VstTimeInfo gTime{};
bool gAnswer = false;
intptr_t TimeHost(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  if (opcode == vst2::audioMasterGetTime && gAnswer) return reinterpret_cast<intptr_t>(&gTime);
  return 0;
}
}  // namespace

TEST(Adapter, HostDetectionTable) {
  EXPECT_EQ(PlugVst2::DetectHost("REAPER"), 1);
  EXPECT_EQ(PlugVst2::DetectHost("Cubase Live"), 3);  // cubase is tested before live
  EXPECT_EQ(PlugVst2::DetectHost("Ableton Live"), 9);
  EXPECT_EQ(PlugVst2::DetectHost("Ardour"), 28);
  EXPECT_EQ(PlugVst2::DetectHost("Unknown DAW"), 0);
  EXPECT_EQ(PlugVst2::DetectHost(""), 0);
  EXPECT_EQ(PlugVst2::DetectHost(nullptr), 0);
}

TEST(Adapter, VendorVersionRepacking) {
  EXPECT_EQ(PlugVst2::PackVendorVersion(2105), (0 << 16) | (21 << 8) | 5);
  EXPECT_EQ(PlugVst2::PackVendorVersion(71234), (7 << 16) | (12 << 8) | 34);
  EXPECT_EQ(PlugVst2::PackVendorVersion(-3), 0);
}

TEST(Adapter, TimeInfoTakesOnlyValidFields) {
  Thudrix plug(&TimeHost);
  plug.Dispatch(vst2::effOpen, 0, 0, nullptr, 0.0f);  // the host has the effect
  TimeInfo info;
  info.tempo = 99;
  gAnswer = false;
  plug.HostTimeInfo(info);
  EXPECT_EQ(info.tempo, 99);

  gAnswer = true;
  gTime = {};
  gTime.flags = vst2::kVstTransportPlaying;  // none of the five
  plug.HostTimeInfo(info);
  EXPECT_FALSE(info.transportRunning);

  gTime.flags = vst2::kVstTempoValid | vst2::kVstTimeSigValid | vst2::kVstTransportPlaying | vst2::kVstPpqPosValid;
  gTime.tempo = 128;
  gTime.ppqPos = -1;  // negative: ignored
  gTime.timeSigNumerator = 7;
  gTime.timeSigDenominator = 8;
  gTime.samplePos = 1000.4;
  plug.HostTimeInfo(info);
  EXPECT_EQ(info.tempo, 128);
  EXPECT_EQ(info.ppqPosition, 0);
  EXPECT_EQ(info.timeSigNumerator, 7);
  EXPECT_TRUE(info.transportRunning);
  EXPECT_EQ(plug.HostSamplePosition(), 1000);
  EXPECT_EQ(plug.HostTempo(), 128);
  int32_t num = -1, den = -1;
  plug.HostTimeSignature(num, den);
  EXPECT_EQ(num, 7);
  gAnswer = false;
  plug.HostTimeSignature(num, den);
  EXPECT_EQ(num, 0);
  EXPECT_EQ(plug.HostSamplePosition(), 0);
}

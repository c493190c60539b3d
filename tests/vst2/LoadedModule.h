#pragma once
// Drives Thudra.so the way a host does: dlopen, the entry point, and the
// effect record only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/vst2/OneMidiEvent.h"
#include "vst2/VstAbi.h"

struct HostRecorder {
  std::string product = "thudra-test-host";
  intptr_t vendorVersion = 2105;
  std::vector<std::pair<int32_t, int32_t>> calls;  // opcode, index
  std::vector<float> automatedValues;
  vst2::VstTimeInfo time{};
  bool answerTime = false;
  int timeQueries = 0;
  int32_t lastTimeFlagsAsked = 0;
  int32_t processLevel = 2;
  int wantMidi = 0;
  int midiOut = 0;
};

inline HostRecorder* gHost = nullptr;

inline intptr_t RecordingHost(vst2::VstEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  if (!gHost) return 0;
  gHost->calls.push_back({opcode, index});
  switch (opcode) {
    case vst2::audioMasterVersion:
      return 2400;
    case vst2::audioMasterAutomate:
      gHost->automatedValues.push_back(opt);
      return 0;
    case vst2::audioMasterWantMidi:
      ++gHost->wantMidi;
      return 1;
    case vst2::audioMasterGetTime:
      ++gHost->timeQueries;
      gHost->lastTimeFlagsAsked = int32_t(value);
      return gHost->answerTime ? reinterpret_cast<intptr_t>(&gHost->time) : 0;
    case vst2::audioMasterGetProductString:
      std::strcpy(static_cast<char*>(ptr), gHost->product.c_str());
      return 1;
    case vst2::audioMasterGetVendorVersion:
      return gHost->vendorVersion;
    case vst2::audioMasterGetCurrentProcessLevel:
      return gHost->processLevel;
    case vst2::audioMasterProcessEvents:
      ++gHost->midiOut;
      return 1;
    default:
      return 0;
  }
}

class LoadedModule : public ::testing::Test {
protected:
  void SetUp() override {
    gHost = &host;
    handle = dlopen(THUDRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    entry = reinterpret_cast<vst2::VstPluginMainProc>(dlsym(handle, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    effect = entry(&RecordingHost);
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect) Call(vst2::effClose);
    effect = nullptr;
    if (handle) dlclose(handle);
    gHost = nullptr;
  }

  intptr_t Call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  void OpenAndStart(float rate = 44100.0f, int32_t block = 256) {
    Call(vst2::effOpen);
    Call(vst2::effSetSampleRate, 0, 0, nullptr, rate);
    Call(vst2::effSetBlockSize, 0, block);
    Call(vst2::effMainsChanged, 0, 1);
  }
  void SendNote(int32_t offset, uint8_t note, uint8_t velocity, uint8_t status = 0x90) {
    OneMidiEvent message(offset, status, note, velocity);
    EXPECT_EQ(Call(vst2::effProcessEvents, 0, 0, &message.list), 1);
  }
  std::vector<float> RenderFloat(int32_t frames, float fill = 0.0f, bool accumulate = false) {
    std::vector<float> left(frames, fill), right(frames, fill);
    float* outs[] = {left.data(), right.data()};
    (accumulate ? effect->process : effect->processReplacing)(effect, nullptr, outs, frames);
    EXPECT_EQ(left, right);
    return left;
  }
  static float Peak(const std::vector<float>& v, size_t from, size_t to) {
    float peak = 0;
    for (size_t i = from; i < v.size() && i < to; ++i) peak = std::max(peak, std::fabs(v[i]));
    return peak;
  }
  std::string Text(int32_t opcode, int32_t index) {
    char text[256] = {};
    Call(opcode, index, 0, text);
    return text;
  }

  HostRecorder host;
  void* handle = nullptr;
  vst2::VstPluginMainProc entry = nullptr;
  vst2::VstEffect* effect = nullptr;
};

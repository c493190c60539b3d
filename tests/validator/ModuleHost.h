#pragma once
// A minimal host for the validator: loads Thudra.so with dlopen and talks to
// it through the effect record only. Safe to call from several threads: the
// host callback keeps nothing but atomic counters.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/vst2/OneMidiEvent.h"
#include "vst2/VstAbi.h"

namespace validator {

struct HostCounters {
  std::atomic<long> calls{0};
  std::atomic<long> automations{0};
  // MXCSR seen while the instance was inside an audio callback (it asks for
  // MIDI from there), so a test can see the mode the voice runs in.
  std::atomic<unsigned> csrInsideCallback{0};
};

inline HostCounters gCounters;

inline intptr_t Host(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float) {
  gCounters.calls.fetch_add(1, std::memory_order_relaxed);
  switch (opcode) {
    case vst2::audioMasterVersion:
      return 2400;
    case vst2::audioMasterAutomate:
      gCounters.automations.fetch_add(1, std::memory_order_relaxed);
      return 0;
    case vst2::audioMasterWantMidi:
      gCounters.csrInsideCallback.store(_mm_getcsr());
      return 1;
    case vst2::audioMasterGetCurrentProcessLevel:
      return vst2::kVstProcessLevelRealtime;
    case vst2::audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "thudra-validator");
      return 1;
    default:
      return 0;
  }
}

// The module, loaded once per process. The instance's documents folder is
// pointed at an empty scratch home first, so no user presets leak in.
class Module {
public:
  static Module& Get() {
    static Module module;
    return module;
  }
  vst2::VstPluginMainProc Entry() const { return entry_; }
  bool Loaded() const { return entry_ != nullptr; }
  const std::string& Error() const { return error_; }

private:
  Module() {
    char home[] = "/tmp/thudra-validator-home-XXXXXX";
    if (mkdtemp(home)) {
      home_ = home;
      setenv("HOME", home, 1);
      unsetenv("XDG_CONFIG_HOME");
    }
    handle_ = dlopen(THUDRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      error_ = dlerror();
      return;
    }
    entry_ = reinterpret_cast<vst2::VstPluginMainProc>(dlsym(handle_, "VSTPluginMain"));
  }
  ~Module() {
    if (handle_) dlclose(handle_);
    std::error_code ignored;
    if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
  }
  void* handle_ = nullptr;
  vst2::VstPluginMainProc entry_ = nullptr;
  std::string error_;
  std::string home_;
};

// One instance, opened and configured like a host does, closed on scope exit.
class Instance {
public:
  Instance() {
    if (Module::Get().Loaded()) effect_ = Module::Get().Entry()(&Host);
  }
  Instance(float rate, int32_t block) : Instance() { Start(rate, block); }
  ~Instance() { Close(); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  explicit operator bool() const { return effect_ != nullptr; }
  vst2::VstEffect* Effect() const { return effect_; }
  intptr_t Call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
  }
  void Start(float rate, int32_t block) {
    Call(vst2::effOpen);
    Call(vst2::effSetSampleRate, 0, 0, nullptr, rate);
    Call(vst2::effSetBlockSize, 0, block);
    Call(vst2::effMainsChanged, 0, 1);
  }
  void Close() {
    if (!effect_) return;
    Call(vst2::effMainsChanged, 0, 0);
    Call(vst2::effClose);
    effect_ = nullptr;
  }

  void Set(int32_t index, float value) { effect_->setParameter(effect_, index, value); }
  float Get(int32_t index) { return effect_->getParameter(effect_, index); }

  // Sends one MIDI message for the next block.
  void Midi(int32_t offset, uint8_t status, uint8_t data1, uint8_t data2) {
    OneMidiEvent message(offset, status, data1, data2);
    Call(vst2::effProcessEvents, 0, 0, &message.list);
  }

  // Renders frames through processReplacing; returns the left channel and
  // records whether the right one matched it.
  std::vector<float> Render(int32_t frames) {
    std::vector<float> left(size_t(frames), 9.0f), right(size_t(frames), -9.0f);
    float* outs[] = {left.data(), right.data()};
    effect_->processReplacing(effect_, nullptr, outs, frames);
    if (left != right) ++channelMismatches;
    return left;
  }

  std::vector<uint8_t> Chunk(int32_t index) {
    void* data = nullptr;
    const intptr_t size = Call(vst2::effGetChunk, index, 0, &data);
    if (size <= 0 || !data) return {};
    return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  }
  intptr_t Restore(int32_t index, std::vector<uint8_t> bytes) {
    return Call(vst2::effSetChunk, index, intptr_t(bytes.size()), bytes.data());
  }

  int channelMismatches = 0;

private:
  vst2::VstEffect* effect_ = nullptr;
};

// Finite and within a sane peak: a drum at half scale never needs more.
inline bool Sane(const std::vector<float>& samples, size_t* firstBad = nullptr) {
  for (size_t i = 0; i < samples.size(); ++i) {
    if (!std::isfinite(samples[i]) || std::fabs(samples[i]) >= 4.0f) {
      if (firstBad) *firstBad = i;
      return false;
    }
  }
  return true;
}

inline float Peak(const std::vector<float>& samples) {
  float peak = 0.0f;
  for (float x : samples) peak = std::max(peak, std::fabs(x));
  return peak;
}

class ModuleTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Module::Get().Loaded()) << Module::Get().Error(); }
};

}  // namespace validator

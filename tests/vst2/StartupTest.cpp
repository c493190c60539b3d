// The module as a user gets it: factory sounds in the documents folder, the
// first one loaded at creation, the next-preset arrow stepping to the next,
// and a project saved and reopened the way hosts without chunks do it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vst2/VstAbi.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kParamCount = 17;
constexpr int32_t kDecay = 2;
constexpr int32_t kTrigger = 13;
constexpr int32_t kPresetNext = 16;

struct HostCall {
  int32_t opcode;
  int32_t index;
  float value;
};
std::vector<HostCall> gCalls;

intptr_t RecordingHost(vst2::VstEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
  gCalls.push_back({opcode, index, opt});
  return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

bool Automated(int32_t index, float value) {
  for (const HostCall& c : gCalls)
    if (c.opcode == vst2::audioMasterAutomate && c.index == index && c.value == value) return true;
  return false;
}

// The normalized values of a preset file's first lines.
std::vector<double> Values(const fs::path& file) {
  std::vector<double> values;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) values.push_back(std::stod(line.substr(line.find('=') + 1)));
  return values;
}

// The factory sounds installed into a scratch HOME, as `make install` does,
// and the module loaded from there.
class Installed : public ::testing::Test {
protected:
  void SetUp() override {
    const fs::path source = fs::path(THUDRA_SOURCE_DIR) / "resources/presets/Factory Presets";
    if (fs::is_directory(source))
      for (const auto& entry : fs::directory_iterator(source))
        if (entry.path().extension() == ".tvpreset") presets.push_back(entry.path());
    ASSERT_GE(presets.size(), 3u) << "the factory sounds are missing";
    std::sort(presets.begin(), presets.end(), [](const fs::path& a, const fs::path& b) {
      return strcasecmp(a.filename().c_str(), b.filename().c_str()) < 0;
    });

    char scratchName[] = "/tmp/thudra-home-XXXXXX";
    home = mkdtemp(scratchName);
    const fs::path factory = home / "Documents/Tarvolin Instruments/Tarvolin Thudra Presets/Factory Presets";
    fs::create_directories(factory);
    for (const auto& preset : presets) fs::copy_file(preset, factory / preset.filename());
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);

    module = dlopen(THUDRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    entry = reinterpret_cast<vst2::VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    gCalls.clear();
  }
  void TearDown() override {
    for (vst2::VstEffect* e : effects) e->dispatcher(e, vst2::effClose, 0, 0, nullptr, 0);
    if (module) dlclose(module);
    fs::remove_all(home);
  }
  vst2::VstEffect* Create() {
    vst2::VstEffect* e = entry(&RecordingHost);
    if (e) effects.push_back(e);
    return e;
  }
  static void Start(vst2::VstEffect* e) {
    e->dispatcher(e, vst2::effOpen, 0, 0, nullptr, 0);
    e->dispatcher(e, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    e->dispatcher(e, vst2::effSetBlockSize, 0, 512, nullptr, 0);
    e->dispatcher(e, vst2::effMainsChanged, 0, 1, nullptr, 0);
  }
  static float RenderPeak(vst2::VstEffect* e, int32_t blocks) {
    float peak = 0.0f;
    std::vector<float> left(512), right(512);
    float* outs[] = {left.data(), right.data()};
    for (int32_t b = 0; b < blocks; ++b) {
      e->processReplacing(e, nullptr, outs, 512);
      for (float v : left) peak = std::max(peak, std::fabs(v));
    }
    return peak;
  }
  static void ExpectSound(vst2::VstEffect* e, const fs::path& preset) {
    const auto values = Values(preset);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(e->getParameter(e, i), values[size_t(i)], 1e-4) << preset << " " << i;
  }

  std::vector<fs::path> presets;
  fs::path home;
  void* module = nullptr;
  vst2::VstPluginMainProc entry = nullptr;
  std::vector<vst2::VstEffect*> effects;
};

}  // namespace

TEST_F(Installed, FirstFactorySoundLoadsQuietlyAndTheArrowSteps) {
  vst2::VstEffect* effect = Create();
  ASSERT_NE(effect, nullptr);
  // Loading the start-up sound tells the host nothing: it has no effect
  // pointer yet to match the calls to.
  EXPECT_TRUE(gCalls.empty()) << gCalls.size() << " host calls during creation";

  ExpectSound(effect, presets[0]);
  effect->setParameter(effect, kPresetNext, 1.0f);
  ExpectSound(effect, presets[1]);
}

TEST_F(Installed, AReopenedProjectComesBackExactlyWithoutHitsOrSteps) {
  vst2::VstEffect* original = Create();
  Start(original);
  original->setParameter(original, kPresetNext, 1.0f);
  ExpectSound(original, presets[1]);
  // Presses read back 0, and the host is told so on its next call rather
  // than from inside its own setParameter.
  EXPECT_EQ(original->getParameter(original, kPresetNext), 0.0f);
  EXPECT_FALSE(Automated(kPresetNext, 0.0f));
  gCalls.clear();  // loading the preset told the host the pad's stored 0
  original->setParameter(original, kTrigger, 1.0f);
  EXPECT_EQ(original->getParameter(original, kTrigger), 0.0f);
  EXPECT_FALSE(Automated(kTrigger, 0.0f));
  EXPECT_GT(RenderPeak(original, 4), 0.01f);  // the pad did hit
  EXPECT_TRUE(Automated(kPresetNext, 0.0f));
  EXPECT_TRUE(Automated(kTrigger, 0.0f));
  original->setParameter(original, kDecay, 0.123f);  // the user's own change

  float saved[kParamCount];
  for (int32_t i = 0; i < kParamCount; ++i) saved[i] = original->getParameter(original, i);

  // Reopened: a fresh instance, every value set in index order, twice.
  vst2::VstEffect* reopened = Create();
  Start(reopened);
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t i = 0; i < kParamCount; ++i) reopened->setParameter(reopened, i, saved[i]);
  for (int32_t i = 0; i < kParamCount; ++i) EXPECT_EQ(reopened->getParameter(reopened, i), saved[i]) << i;
  EXPECT_EQ(RenderPeak(reopened, 8), 0.0f);  // no hit
  // The preset list did not move: the arrow goes on from the start-up sound.
  reopened->dispatcher(reopened, vst2::effEditIdle, 0, 0, nullptr, 0);
  reopened->setParameter(reopened, kPresetNext, 1.0f);
  reopened->dispatcher(reopened, vst2::effEditIdle, 0, 0, nullptr, 0);
  ExpectSound(reopened, presets[1]);
}

TEST_F(Installed, AHostSliderDraggedThroughAPressStepsOnce) {
  vst2::VstEffect* effect = Create();
  Start(effect);
  for (float v = 0.0f; v <= 1.0f; v += 0.05f) effect->setParameter(effect, kPresetNext, v);
  effect->setParameter(effect, kPresetNext, 1.0f);
  ExpectSound(effect, presets[1]);
  // Let go (below the middle) and press again: the next step.
  effect->setParameter(effect, kPresetNext, 0.2f);
  effect->setParameter(effect, kPresetNext, 0.8f);
  ExpectSound(effect, presets[2]);
}

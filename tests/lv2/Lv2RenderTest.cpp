// The LV2 plug-in against the VST2 module, both loaded as hosts load them:
// the same notes and settings give the same samples, and each LV2 preset
// gives the values its sound file gives.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "instrument/Thudrix.h"
#include "lv2/Lv2Ports.h"
#include "presets/PresetFiles.h"
#include "tests/instrument/StartedThudrix.h"
#include "tests/lv2/Lv2TestSupport.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Lv2Plugin.h"
#include "tools/host/Renderer.h"

using namespace thudra::host;
using namespace lv2_test;

namespace {

struct Setting {
  const char* name;
  double normalized;
};

struct Scenario {
  int rate;
  int32_t block;
  int64_t frames;
  std::vector<ScheduledMidiMessage> messages;
  std::vector<Setting> settings;
};

using Channels = std::vector<std::vector<float>>;

BlockSink Collect(Channels& out) {
  return [&out](std::span<const std::vector<double>> channels, int32_t frames) {
    out.resize(channels.size());
    for (size_t c = 0; c < channels.size(); ++c)
      for (int32_t i = 0; i < frames; ++i) out[c].push_back(float(channels[c][size_t(i)]));
    return true;
  };
}

Channels RenderVst2(const Scenario& s) {
  HostSession session(s.rate, s.block, vst2::kVstProcessLevelOffline);
  std::ostringstream err;
  auto plugin = createPlugin(kVst2Module, session, err);
  EXPECT_TRUE(plugin) << err.str();
  if (!plugin) return {};
  plugin->open();
  plugin->configure(s.rate, s.block);
  plugin->setProcessing(true);
  for (const Setting& setting : s.settings)
    plugin->setParameter(*plugin->findParam(setting.name), float(setting.normalized));
  Channels out;
  const RenderResult result = renderPlugin(*plugin, session, {s.frames, false}, s.messages, Collect(out));
  EXPECT_TRUE(result.ok()) << result.error;
  return out;
}

std::unique_ptr<Lv2Plugin> LoadLv2(int rate, int32_t block) {
  std::string error;
  auto plugin = Lv2Plugin::load(kBundle, error);
  EXPECT_TRUE(plugin) << error;
  if (plugin && !plugin->instantiate(rate, block, error)) {
    ADD_FAILURE() << error;
    return nullptr;
  }
  return plugin;
}

Channels RenderLv2(const Scenario& s) {
  auto plugin = LoadLv2(s.rate, s.block);
  if (!plugin) return {};
  for (const Setting& setting : s.settings)
    plugin->setControlNormalized(*plugin->findControl(setting.name), setting.normalized);
  plugin->activate();
  Channels out;
  const RenderResult result = renderLv2Plugin(*plugin, s.block, s.frames, s.messages, Collect(out));
  EXPECT_TRUE(result.ok()) << result.error;
  return out;
}

ScheduledMidiMessage Midi(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
  return {frame, {status, data1, data2}};
}

// First differing frame of the two renders, or -1.
int64_t FirstDifference(const Channels& a, const Channels& b) {
  if (a.size() != b.size()) return 0;
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) return 0;
    for (size_t i = 0; i < a[c].size(); ++i)
      if (std::memcmp(&a[c][i], &b[c][i], sizeof(float)) != 0) return int64_t(i);
  }
  return -1;
}

bool Sounds(const Channels& channels) {
  return !channels.empty() && std::any_of(channels[0].begin(), channels[0].end(), [](float v) { return v != 0.0f; });
}

}  // namespace

// Notes on block edges and inside blocks, a note-off, a velocity-0 note-on,
// a controller, a retrigger on one frame; every rate and block size.
TEST(Lv2Render, BitIdenticalToTheVst2Module) {
  const std::vector<ScheduledMidiMessage> notes = {
      Midi(0, 0x90, 36, 127),   Midi(255, 0x80, 36, 0),   Midi(256, 0x90, 48, 64),
      Midi(1001, 0x90, 40, 0),  Midi(4000, 0xB0, 7, 100), Midi(4097, 0x90, 30, 90),
      Midi(4097, 0x90, 45, 20), Midi(9999, 0x99, 60, 1),  Midi(15000, 0x90, 33, 110)};
  const std::vector<Setting> settings = {{"Pitch", 0.75},       {"Decay", 0.3},          {"Distort", 0.8},
                                         {"MidiTuneFlag", 1.0}, {"MidiAccentFlag", 1.0}, {"NoiseDecay", 0.65}};
  for (int rate : {44100, 48000, 96000}) {
    for (int32_t block : {1, 37, 256, 1000, 4096}) {
      const Scenario scenario{rate, block, 20000, notes, settings};
      const Channels vst2 = RenderVst2(scenario);
      const Channels lv2 = RenderLv2(scenario);
      ASSERT_TRUE(Sounds(lv2)) << rate << " Hz, block " << block;
      EXPECT_EQ(FirstDifference(vst2, lv2), -1) << rate << " Hz, block " << block;
    }
  }
}

// The note plays at its frame: silence before it, sound from it on.
TEST(Lv2Render, NoteStartsAtItsFrameInsideABlock) {
  const Scenario scenario{48000, 512, 2048, {Midi(700, 0x90, 36, 127)}, {}};
  const Channels lv2 = RenderLv2(scenario);
  ASSERT_EQ(lv2.size(), 2u);
  for (int64_t i = 0; i < 700; ++i) ASSERT_EQ(lv2[0][size_t(i)], 0.0f) << i;
  EXPECT_TRUE(std::any_of(lv2[0].begin() + 700, lv2[0].begin() + 720, [](float v) { return v != 0.0f; }));
  EXPECT_EQ(lv2[0], lv2[1]);
}

// A preset from the host's menu sets each port to what loading its file
// into the instrument gives (pitch in whole semitones: the port's unit).
TEST(Lv2Presets, EachPresetGivesItsSoundFileValues) {
  UseEmptyPresetRoot();
  auto reference = MakeStartedThudrix(QuietHost, 48000.0f, 256);
  auto plugin = LoadLv2(48000, 256);
  ASSERT_TRUE(plugin);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(kFactoryPresets)) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 18u);
  ASSERT_EQ(plugin->presets().size(), 18u);
  for (const auto& file : files) {
    ASSERT_TRUE(LoadPresetFile(*reference, file.string())) << file;
    std::string error;
    ASSERT_TRUE(plugin->applyPreset(file.stem().string(), error)) << error;
    for (int32_t i = 0; i < lv2port::kPortedParams; ++i) {
      if (lv2port::IsOutput(i) || i == kParamTrigger) continue;
      const PlugParam& param = *reference->ParamAt(i);
      const float expected = i == kParamPitch ? float(std::round(param.Value())) : float(param.Value());
      EXPECT_EQ(plugin->control(lv2port::PortOfParam(i)), expected) << file.stem() << " " << param.Name();
    }
  }
}

// Any VST2 instrument module, measured the way a host uses it: creating and
// opening an instance, and rendering through processReplacing at 48 kHz in
// blocks of 256 with a note every half second. Modules to compare come from
// THUDRA_BENCH_MODULES (colon-separated paths); ours is always measured.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tools/host/HostedPlugin.h"
#include "tools/host/HostSession.h"
#include "tools/host/MidiEvents.h"
#include "tools/host/ModuleLoader.h"

using namespace thudra::host;

namespace {

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 256;

void CreateAndOpen(benchmark::State& state, std::string path) {
  const ModuleLoadResult loaded = loadModule(path);
  if (!loaded.module) {
    state.SkipWithError(loaded.error.c_str());
    return;
  }
  for (auto _ : state) {
    HostSession session(kRate, kBlock, vst2::kVstProcessLevelRealtime);
    PluginCreateResult created = HostedPlugin::create(loaded.module, session);
    if (!created.plugin) {
      state.SkipWithError(created.error.c_str());
      return;
    }
    created.plugin->open();
    created.plugin->configure(kRate, kBlock);
    created.plugin->setProcessing(true);
    state.PauseTiming();
    created.plugin.reset();
    state.ResumeTiming();
  }
}

void SendNote(HostedPlugin& plugin, uint8_t status, uint8_t note, uint8_t velocity) {
  thudra::host::BlockEventList list;
  const thudra::host::ScheduledMidiMessage message{0, {status, note, velocity}};
  plugin.dispatch(vst2::effProcessEvents, 0, 0, list.fill({&message, 1}, 0));
}

void Render(benchmark::State& state, std::string path) {
  const ModuleLoadResult loaded = loadModule(path);
  if (!loaded.module) {
    state.SkipWithError(loaded.error.c_str());
    return;
  }
  HostSession session(kRate, kBlock, vst2::kVstProcessLevelRealtime);
  PluginCreateResult created = HostedPlugin::create(loaded.module, session);
  if (!created.plugin) {
    state.SkipWithError(created.error.c_str());
    return;
  }
  HostedPlugin& plugin = *created.plugin;
  plugin.open();
  plugin.configure(kRate, kBlock);
  plugin.setProcessing(true);
  const int32_t outputs = plugin.numOutputs();
  std::vector<std::vector<float>> buffers(static_cast<size_t>(outputs), std::vector<float>(kBlock));
  std::vector<float*> pointers;
  for (auto& buffer : buffers) pointers.push_back(buffer.data());
  std::vector<float> input(kBlock, 0.0f);
  std::vector<float*> inputs(size_t(std::max(1, plugin.numInputs())), input.data());
  const int32_t blocksPerHit = int32_t(kRate * 0.5 / kBlock);
  int32_t block = 0;
  for (auto _ : state) {
    if (block % blocksPerHit == 0) SendNote(plugin, 0x90, 36, 110);
    // Hosts send note-offs too; an instrument waiting for one would ring on.
    if (block % blocksPerHit == blocksPerHit / 2) SendNote(plugin, 0x80, 36, 0);
    ++block;
    plugin.effect()->processReplacing(plugin.effect(), inputs.data(), pointers.data(), kBlock);
    benchmark::DoNotOptimize(pointers[0][0]);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kBlock);
}

// One block whose event list holds count note-ons in descending order, as
// some hosts and MIDI tools send them, then the block rendered.
void BackwardsEventList(benchmark::State& state, std::string path) {
  const ModuleLoadResult loaded = loadModule(path);
  if (!loaded.module) {
    state.SkipWithError(loaded.error.c_str());
    return;
  }
  HostSession session(kRate, kBlock, vst2::kVstProcessLevelRealtime);
  PluginCreateResult created = HostedPlugin::create(loaded.module, session);
  if (!created.plugin) {
    state.SkipWithError(created.error.c_str());
    return;
  }
  HostedPlugin& plugin = *created.plugin;
  plugin.open();
  plugin.configure(kRate, kBlock);
  plugin.setProcessing(true);
  const int64_t count = state.range(0);
  std::vector<ScheduledMidiMessage> messages;
  for (int64_t i = 0; i < count; ++i)
    messages.push_back({(count - 1 - i) * kBlock / count, {0x90, 36, uint8_t(1 + i % 127)}});
  std::vector<std::vector<float>> buffers(size_t(plugin.numOutputs()), std::vector<float>(kBlock));
  std::vector<float*> pointers;
  for (auto& buffer : buffers) pointers.push_back(buffer.data());
  BlockEventList list;
  for (auto _ : state) {
    plugin.dispatch(vst2::effProcessEvents, 0, 0, list.fill(messages, 0));
    plugin.effect()->processReplacing(plugin.effect(), nullptr, pointers.data(), kBlock);
    benchmark::DoNotOptimize(pointers[0][0]);
  }
}

std::vector<std::string> Modules() {
  std::vector<std::string> modules = {THUDRA_MODULE_PATH};
  if (const char* extra = std::getenv("THUDRA_BENCH_MODULES")) {
    std::stringstream list(extra);
    std::string path;
    while (std::getline(list, path, ':'))
      if (!path.empty()) modules.push_back(path);
  }
  return modules;
}

std::string ShortName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  for (const std::string& path : Modules()) {
    benchmark::RegisterBenchmark(("CreateAndOpen/" + ShortName(path)).c_str(), CreateAndOpen, path)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Render256/" + ShortName(path)).c_str(), Render, path);
  }
  benchmark::RegisterBenchmark("BackwardsEventList/Thudra.so", BackwardsEventList, std::string(THUDRA_MODULE_PATH))
      ->Arg(10000)
      ->Arg(100000)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

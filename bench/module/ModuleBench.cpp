// Any VST2 instrument module, measured the way a host uses it: creating and
// opening an instance, and rendering through processReplacing at 48 kHz in
// blocks of 256 with a note every half second (and ours also in the silence
// long after a hit). Modules to compare come from THUDRA_BENCH_MODULES
// (colon-separated paths); ours is always measured. Each render reports
// ns_per_sample and the peak it reached, so a module that stayed silent
// shows; runs are repeated and interleaved, with the best as "min".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
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

// A host's side of one instance: started, with its buffers, and the event
// list it hands over kept alive through the process call that follows,
// as hosts do (a module may read the events only then).
class Player {
public:
  Player(benchmark::State& state, const std::string& path) : session_(kRate, kBlock, vst2::kVstProcessLevelRealtime) {
    const ModuleLoadResult loaded = loadModule(path);
    if (!loaded.module) {
      state.SkipWithError(loaded.error.c_str());
      return;
    }
    PluginCreateResult created = HostedPlugin::create(loaded.module, session_);
    if (!created.plugin) {
      state.SkipWithError(created.error.c_str());
      return;
    }
    plugin_ = std::move(created.plugin);
    plugin_->open();
    plugin_->configure(kRate, kBlock);
    plugin_->setProcessing(true);
    const int32_t outputs = plugin_->numOutputs();
    buffers_.assign(static_cast<size_t>(outputs), std::vector<float>(kBlock));
    for (auto& buffer : buffers_) outputs_.push_back(buffer.data());
    input_.assign(kBlock, 0.0f);
    inputs_.assign(size_t(std::max(1, plugin_->numInputs())), input_.data());
  }

  bool Ready() const { return plugin_ != nullptr; }

  // One block; a note-on at its start when hit, a note-off when release.
  // The peak is only followed outside the timed loops.
  void Block(bool hit, bool release, bool followPeak = false) {
    const ScheduledMidiMessage on{0, {0x90, 36, 110}};
    // Hosts send note-offs too; an instrument waiting for one would ring on.
    const ScheduledMidiMessage off{0, {0x80, 36, 0}};
    if (hit || release) plugin_->dispatch(vst2::effProcessEvents, 0, 0, events_.fill({hit ? &on : &off, 1}, 0));
    plugin_->effect()->processReplacing(plugin_->effect(), inputs_.data(), outputs_.data(), kBlock);
    if (!followPeak) return;
    for (const auto& buffer : buffers_)
      for (float x : buffer) peak_ = std::max(peak_, std::fabs(x));
  }

  // The loudest sample so far: a module that stayed silent shows 0.
  float Peak() const { return peak_; }

private:
  HostSession session_;
  std::unique_ptr<HostedPlugin> plugin_;
  BlockEventList events_;
  std::vector<std::vector<float>> buffers_;
  std::vector<float*> outputs_;
  std::vector<float> input_;
  std::vector<float*> inputs_;
  float peak_ = 0.0f;
};

void CountSamples(benchmark::State& state, const Player& player) {
  state.SetItemsProcessed(int64_t(state.iterations()) * kBlock);
  state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * kBlock,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak"] = player.Peak();
}

// A note every half second, each released halfway.
void Render(benchmark::State& state, std::string path) {
  Player player(state, path);
  if (!player.Ready()) return;
  const int32_t blocksPerHit = int32_t(kRate * 0.5 / kBlock);
  int32_t block = 0;
  // Two hits untimed first, for the peak.
  for (; block < 2 * blocksPerHit; ++block)
    player.Block(block % blocksPerHit == 0, block % blocksPerHit == blocksPerHit / 2, true);
  for (auto _ : state) {
    player.Block(block % blocksPerHit == 0, block % blocksPerHit == blocksPerHit / 2);
    ++block;
  }
  CountSamples(state, player);
}

// The silence ten minutes after a single hit, when the drum has long
// finished ringing.
void RenderSilence(benchmark::State& state, std::string path) {
  Player player(state, path);
  if (!player.Ready()) return;
  player.Block(true, false, true);
  player.Block(false, true, true);
  for (int64_t b = 0; b < int64_t(kRate) * 600 / kBlock; ++b) player.Block(false, false);
  for (auto _ : state) player.Block(false, false);
  CountSamples(state, player);
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

bool Given(int argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> names;
  for (const std::string& path : Modules()) {
    // Two modules of one file name (two builds of ours) go by their paths.
    std::string name = ShortName(path);
    if (std::find(names.begin(), names.end(), name) != names.end()) name = path;
    names.push_back(name);
    benchmark::RegisterBenchmark(("CreateAndOpen/" + name).c_str(), CreateAndOpen, path)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Render256/" + name).c_str(), Render, path)
        ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
  }
  benchmark::RegisterBenchmark("BackwardsEventList/Thudra.so", BackwardsEventList, std::string(THUDRA_MODULE_PATH))
      ->Arg(10000)
      ->Arg(100000)
      ->Unit(benchmark::kMillisecond);
  // Only ours is known to fall silent: the peers would just repeat their render.
  benchmark::RegisterBenchmark(("RenderSilence/" + ShortName(THUDRA_MODULE_PATH)).c_str(), RenderSilence,
                               std::string(THUDRA_MODULE_PATH))
      ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

  // Repeated runs of every module interleaved in one go, so that the
  // ratios come from one machine at one time; a flag given wins.
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=5";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  if (!Given(argc, argv, "--benchmark_repetitions")) args.push_back(repetitions.data());
  if (!Given(argc, argv, "--benchmark_enable_random_interleaving")) args.push_back(interleave.data());
  int count = int(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

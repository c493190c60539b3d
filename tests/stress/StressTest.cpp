// One instance, four threads, as a host drives it: the processing thread
// renders blocks with MIDI, an automation thread sets and reads parameters,
// a thread saves and restores state and loads presets, and the user
// interface thread opens, draws, clicks and closes the editor. Run under the
// thread sanitizer this is the race detector's workload; in any build it
// checks that nothing deadlocks, crashes or produces non-finite audio.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "graphics/Editor.h"
#include "graphics/EditorSnapshot.h"
#include "graphics/ResourceCaches.h"
#include "instrument/MidiLearnTable.h"
#include "instrument/Thudrix.h"
#include "tests/instrument/StartedThudrix.h"
#include "platform/Lock.h"
#include "presets/PresetFiles.h"
#include "raster/PngDecode.h"

namespace fs = std::filesystem;

namespace {

double StressSeconds() {
  const char* text = std::getenv("STRESS_SECONDS");
  const double seconds = text ? std::atof(text) : 5.0;
  return seconds > 0.0 ? seconds : 5.0;
}

std::atomic<long> gAutomations{0};

intptr_t Host(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  switch (opcode) {
    case vst2::audioMasterVersion:
      return 2400;
    case vst2::audioMasterAutomate:
      gAutomations.fetch_add(1, std::memory_order_relaxed);
      return 0;
    case vst2::audioMasterGetCurrentProcessLevel:
      return vst2::kVstProcessLevelRealtime;
    default:
      return 0;
  }
}

// A preset root with a factory folder and a few sounds, removed afterwards.
class PresetTree {
public:
  PresetTree() {
    char name[] = "/tmp/thudra-stress-XXXXXX";
    root_ = mkdtemp(name);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    static const char* const kNames[] = {"Pitch",     "Accent",     "Decay",   "TuneDecay",    "Attack",        "Hold",
                                         "TuneDepth", "NoiseDecay", "Distort", "MidiTuneFlag", "MidiAccentFlag"};
    for (int file = 0; file < 4; ++file) {
      const fs::path path = fs::path(root_) / "Factory Presets" / ("Kick " + std::to_string(file) + ".tvpreset");
      fs::create_directories(path.parent_path());
      std::ofstream out(path);
      for (const char* param : kNames) out << param << "=" << (file == 3 ? 1.0 : unit(random)) << "\n";
      presets_.push_back(path.string());
    }
    // Damaged files exercise the parser on the same path as good ones.
    const fs::path broken = fs::path(root_) / "Factory Presets" / "zz broken.tvpreset";
    std::ofstream(broken) << "Pitch=\n=0.5\nDecay=nan\nAttack=1e999\n\xff\xfe\n";
    presets_.push_back(broken.string());
  }
  ~PresetTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string Root() const { return root_ + "/"; }
  const std::vector<std::string>& Presets() const { return presets_; }

private:
  std::string root_;
  std::vector<std::string> presets_;
};

// Rolls of hits from several threads build the carried tail up well past
// the level of one hit, so the stress only asks for finite output.
bool FiniteBlock(const float* samples, int32_t frames) {
  for (int32_t s = 0; s < frames; ++s)
    if (!std::isfinite(samples[s])) return false;
  return true;
}

struct Counts {
  std::atomic<long> blocks{0};
  std::atomic<long> badBlocks{0};
  std::atomic<long> parameterCalls{0};
  std::atomic<long> badReadbacks{0};
  std::atomic<long> chunkRoundTrips{0};
  std::atomic<long> chunkFailures{0};
  std::atomic<long> presetLoads{0};
  std::atomic<long> editorCycles{0};
  std::atomic<long> snapshots{0};
};

class Stress : public ::testing::Test {
protected:
  void SetUp() override {
    SetPresetRootFolder(tree.Root());
    MidiLearnTable::Shared().Reset();
  }
  void TearDown() override { MidiLearnTable::Shared().Reset(); }

  PresetTree tree;
};

// The processing thread: event lists with notes and controllers at random
// offsets, then a block of random length through processReplacing (now and
// then the double-precision callback).
void AudioThread(vst2::VstEffect* effect, const std::atomic<bool>& stop, Counts& counts, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<float> left(8192), right(8192);
  std::vector<double> leftD(8192), rightD(8192);
  std::vector<vst2::VstMidiEvent> midi(8);
  std::vector<char> listBytes(sizeof(vst2::VstEvents) + 8 * sizeof(void*));
  while (!stop.load(std::memory_order_relaxed)) {
    const int32_t frames = 1 + int32_t(random() % 2048);
    auto* list = reinterpret_cast<vst2::VstEvents*>(listBytes.data());
    list->numEvents = int32_t(random() % midi.size());
    for (int32_t i = 0; i < list->numEvents; ++i) {
      vst2::VstMidiEvent& event = midi[size_t(i)];
      event = {};
      event.type = vst2::kVstMidiType;
      event.byteSize = sizeof event;
      event.deltaFrames = int32_t(random() % uint32_t(frames));
      const bool controller = random() % 4 == 0;
      event.midiData[0] = char(controller ? 0xB0 : 0x90);
      event.midiData[1] = char(controller ? random() % 8 : 20 + random() % 60);
      event.midiData[2] = char(random() % 128);
      list->events[i] = reinterpret_cast<vst2::VstEvent*>(&event);
    }
    effect->dispatcher(effect, vst2::effProcessEvents, 0, 0, list, 0.0f);
    if (random() % 8 == 0) {
      double* outs[] = {leftD.data(), rightD.data()};
      effect->processDoubleReplacing(effect, nullptr, outs, frames);
      for (int32_t s = 0; s < frames; ++s) left[size_t(s)] = float(leftD[size_t(s)]);
    } else {
      float* outs[] = {left.data(), right.data()};
      effect->processReplacing(effect, nullptr, outs, frames);
    }
    if (!FiniteBlock(left.data(), frames)) counts.badBlocks.fetch_add(1);
    counts.blocks.fetch_add(1, std::memory_order_relaxed);
  }
}

// The automation thread: every parameter, values in and out of range, read
// back at once. Another thread may have changed it in between, so only the
// range is checked.
void AutomationThread(vst2::VstEffect* effect, const std::atomic<bool>& stop, Counts& counts, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> value(-0.25f, 1.25f);
  while (!stop.load(std::memory_order_relaxed)) {
    // The preset arrows (15, 16) step the shared list; they are pressed
    // less often than knobs turn.
    int32_t index = int32_t(random() % kThudrixParamCount);
    if (index >= kParamPresetPrevious && random() % 16 != 0) index = int32_t(random() % 11);
    effect->setParameter(effect, index, random() % 256 ? value(random) : std::nanf(""));
    const float back = effect->getParameter(effect, index);
    if (!(back >= 0.0f && back <= 1.0f)) counts.badReadbacks.fetch_add(1);
    char text[64] = {};
    effect->dispatcher(effect, vst2::effGetParamDisplay, index, 0, text, 0.0f);
    if (random() % 64 == 0) effect->dispatcher(effect, vst2::effString2Parameter, index, 0, (void*)"0.25", 0.0f);
    counts.parameterCalls.fetch_add(1, std::memory_order_relaxed);
  }
}

// The state thread: program and bank chunks out and straight back in, and
// preset files loaded and saved.
void StateThread(Thudrix* plug, const std::vector<std::string>& presets, const std::string& saveFolder,
                 const std::atomic<bool>& stop, Counts& counts, unsigned seed) {
  vst2::VstEffect* effect = plug->Effect();
  std::mt19937 random(seed);
  int round = 0;
  while (!stop.load(std::memory_order_relaxed)) {
    const int32_t index = int32_t(random() % 2);
    void* data = nullptr;
    const intptr_t size = effect->dispatcher(effect, vst2::effGetChunk, index, 0, &data, 0.0f);
    if (size > 0 && data) {
      // The host keeps its own copy; the instance's buffer is only lent.
      std::vector<uint8_t> copy(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      if (effect->dispatcher(effect, vst2::effSetChunk, index, intptr_t(copy.size()), copy.data(), 0.0f) != 1)
        counts.chunkFailures.fetch_add(1);
      counts.chunkRoundTrips.fetch_add(1, std::memory_order_relaxed);
    }
    if (random() % 4 == 0) {
      LoadPresetFile(*plug, presets[random() % presets.size()]);
      counts.presetLoads.fetch_add(1, std::memory_order_relaxed);
    }
    if (++round % 32 == 0) SavePresetFile(*plug, saveFolder + "stress " + std::to_string(round % 3) + ".tvpreset");
  }
}

// The user interface thread: what the window layer does with the editor.
// The window handles its events and redraw ticks inside effEditIdle, a
// dispatcher call, so under the instance lock; the direct calls here take
// that lock the same way.
void EditorThread(Thudrix* plug, const std::string& snapshotPath, const std::atomic<bool>& stop, Counts& counts,
                  unsigned seed) {
  vst2::VstEffect* effect = plug->Effect();
  std::mt19937 random(seed);
  const MouseMods left{true, false, false, false, false};
  while (!stop.load(std::memory_order_relaxed)) {
    effect->dispatcher(effect, vst2::effEditOpen, 0, 0, nullptr, 0.0f);
    Editor* editor = plug->GetEditor();
    ASSERT_NE(editor, nullptr);
    for (int tick = 0; tick < 8 && !stop.load(std::memory_order_relaxed); ++tick) {
      effect->dispatcher(effect, vst2::effEditIdle, 0, 0, nullptr, 0.0f);
      LockHold hold(plug->InstanceLock());
      PixelRect dirty;
      if (editor->CollectDirty(dirty)) editor->DrawControls(dirty);
      // Every control but the background: knobs, switches, pad, buttons,
      // arrows and the preset strip (whose menu is dismissed headless).
      const int32_t count = editor->ControlCount();
      if (count > 1) {
        const Control* control = editor->ControlAt(1 + int32_t(random() % uint32_t(count - 1)));
        const PixelRect& target = control->TargetRect().IsEmpty() ? control->Rect() : control->TargetRect();
        const int32_t x = target.left + target.Width() / 2;
        const int32_t y = target.top + target.Height() / 2;
        editor->HandleMouseDown(x, y, left);
        for (int drag = 1; drag <= 4; ++drag) editor->HandleMouseDrag(x, y - drag * int32_t(random() % 9) + 16, left);
        editor->HandleMouseUp(x, y, left);
      }
    }
    if (random() % 8 == 0) {
      LockHold hold(plug->InstanceLock());
      if (SaveEditorPng(*editor, snapshotPath.c_str())) counts.snapshots.fetch_add(1);
    }
    effect->dispatcher(effect, vst2::effEditClose, 0, 0, nullptr, 0.0f);
    counts.editorCycles.fetch_add(1, std::memory_order_relaxed);
  }
}

std::unique_ptr<Thudrix> MakeStarted(double rate, int32_t block) {
  return MakeStartedThudrix(&Host, float(rate), block);
}

void Report(const char* what, const Counts& counts, double seconds) {
  std::printf(
      "%s, %.1f s: %ld blocks, %ld parameter calls, %ld automations reported, %ld chunk round trips, "
      "%ld preset loads, %ld editor cycles, %ld snapshots\n",
      what, seconds, counts.blocks.load(), counts.parameterCalls.load(), gAutomations.load(),
      counts.chunkRoundTrips.load(), counts.presetLoads.load(), counts.editorCycles.load(), counts.snapshots.load());
}

}  // namespace

TEST_F(Stress, OneInstanceDrivenFromFourThreads) {
  const double seconds = StressSeconds();
  const std::string snapshot = "/tmp/thudra-stress-" + std::to_string(getpid()) + ".png";
  auto plug = MakeStarted(48000.0, 512);
  Counts counts;
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  threads.emplace_back(AudioThread, plug->Effect(), std::cref(stop), std::ref(counts), 1u);
  threads.emplace_back(AutomationThread, plug->Effect(), std::cref(stop), std::ref(counts), 2u);
  threads.emplace_back(StateThread, plug.get(), std::cref(tree.Presets()), tree.Root(), std::cref(stop),
                       std::ref(counts), 3u);
  threads.emplace_back(EditorThread, plug.get(), snapshot, std::cref(stop), std::ref(counts), 4u);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& thread : threads) thread.join();
  std::remove(snapshot.c_str());
  Report("one instance", counts, seconds);

  // Every thread got through its loop many times: a lock-order fault or a
  // starving lock would show up as a count of zero or one.
  EXPECT_GT(counts.blocks.load(), 10);
  EXPECT_GT(counts.parameterCalls.load(), 10);
  EXPECT_GT(counts.chunkRoundTrips.load(), 10);
  EXPECT_GT(counts.editorCycles.load(), 1);
  EXPECT_EQ(counts.badBlocks.load(), 0);
  EXPECT_EQ(counts.badReadbacks.load(), 0);
  EXPECT_EQ(counts.chunkFailures.load(), 0);

  // Still an instrument afterwards: once the tail has died away, a hit at
  // middle settings sounds as one hit should.
  vst2::VstEffect* effect = plug->Effect();
  for (int32_t i = 0; i <= 8; ++i) effect->setParameter(effect, i, 0.5f);
  effect->setParameter(effect, kParamMidiTuneFlag, 0.0f);
  effect->setParameter(effect, kParamMidiAccentFlag, 0.0f);
  std::vector<float> left(4800), right(4800);
  float* outs[] = {left.data(), right.data()};
  for (int block = 0; block < 40; ++block) effect->processReplacing(effect, nullptr, outs, 4800);
  // The pad acts on the edge into a press; the automation thread may have
  // left it held, so release it first as a host's button would.
  effect->setParameter(effect, kParamTrigger, 0.0f);
  effect->setParameter(effect, kParamTrigger, 1.0f);
  effect->processReplacing(effect, nullptr, outs, 4800);
  float peak = 0.0f;
  for (float x : left) peak = std::max(peak, std::fabs(x));
  EXPECT_GT(peak, 0.01f);
  EXPECT_LT(peak, 4.0f);
  EXPECT_TRUE(FiniteBlock(left.data(), 4800));
}

namespace {

// Instances whose audio runs on threads of their own share the process-wide
// tables: the MIDI learn table, the current preset list (the arrows and the
// preset strip step and rescan it) and the bitmap and font caches. As in a
// host, one user interface thread draws every instance's editor.
void SharedTablesWorkload(bool editorThreadPerInstance) {
  const double seconds = StressSeconds() / 2.0;
  constexpr int kInstances = 4;
  std::atomic<bool> stop{false};
  std::vector<Counts> counts(kInstances);
  std::vector<std::unique_ptr<Thudrix>> plugs(kInstances);
  std::atomic<int> created{0};
  auto drawAndClick = [](Thudrix& plug) {
    Editor* editor = plug.GetEditor();
    if (!editor) return;
    LockHold hold(plug.InstanceLock());  // as inside effEditIdle
    const MouseMods press{true, false, false, false, false};
    editor->DrawControls(PixelRect{0, 0, editor->Width(), editor->Height()});
    editor->HandleMouseDown(207 + 10, 25, press);  // the preset strip: a scan of the shared tree
    editor->HandleMouseUp(207 + 10, 25, press);
  };
  std::vector<std::thread> threads;
  for (int n = 0; n < kInstances; ++n) {
    threads.emplace_back([&, n] {
      // Creation itself is part of the workload: the creation lock and the
      // caches' first fills race with the other instances.
      plugs[size_t(n)] = MakeStarted(44100.0 + 100.0 * n, 64 << n);
      Thudrix& plug = *plugs[size_t(n)];
      created.fetch_add(1);
      vst2::VstEffect* effect = plug.Effect();
      std::mt19937 random(unsigned(100 + n));
      std::vector<float> left(1024), right(1024);
      float* outs[] = {left.data(), right.data()};
      while (!stop.load(std::memory_order_relaxed)) {
        effect->setParameter(effect, int32_t(random() % 11), float(random() % 1000) / 999.0f);
        if (random() % 16 == 0) effect->setParameter(effect, kParamPresetNext, 1.0f);
        effect->setParameter(effect, kParamTrigger, 1.0f);
        effect->processReplacing(effect, nullptr, outs, 1024);
        if (!FiniteBlock(left.data(), 1024)) counts[size_t(n)].badBlocks.fetch_add(1);
        if (editorThreadPerInstance) drawAndClick(plug);
        counts[size_t(n)].blocks.fetch_add(1);
      }
    });
  }
  while (created.load() < kInstances) std::this_thread::yield();
  std::thread ui([&] {
    while (!stop.load(std::memory_order_relaxed) && !editorThreadPerInstance)
      for (auto& plug : plugs) drawAndClick(*plug);
  });
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& thread : threads) thread.join();
  ui.join();
  for (int n = 0; n < kInstances; ++n) {
    EXPECT_GT(counts[size_t(n)].blocks.load(), 1) << n;
    EXPECT_EQ(counts[size_t(n)].badBlocks.load(), 0) << n;
  }
  plugs.clear();
}

}  // namespace

TEST_F(Stress, InstancesOnSeparateThreadsShareProcessWideTables) { SharedTablesWorkload(false); }

// Editors drawn on threads of their own, one per instance: the cached fonts
// are shared by every editor, and drawing changes their colour and glyph
// store, so editors take turns with them.
TEST_F(Stress, EditorsDrawnOnSeparateThreadsShareFonts) { SharedTablesWorkload(true); }

namespace {

constexpr int32_t kArtworkIds[] = {101, 102, 103, 104, 105, 106, 107, 108, 109};

// How many of the editor images the process has decoded so far.
int DecodedArtwork() {
  int decoded = 0;
  for (int32_t id : kArtworkIds) {
    RasterBitmap* image = nullptr;
    if (!FindCachedBitmap(id, &image)) continue;
    const auto* onDemand = dynamic_cast<const PngImageOnDemand*>(image);
    decoded += !onDemand || onDemand->IsDecoded();
  }
  return decoded;
}

std::vector<Pixel32> WholePicture(Editor& editor) {
  const RasterBitmap* bitmap = editor.DrawBitmap();
  return {bitmap->PixelData(), bitmap->PixelData() + int64_t(bitmap->RowSpan()) * bitmap->Height()};
}

// Run in a fresh process: the images are shared process-wide, so only there
// are the first editors really the first. The exit code says what failed.
int FirstEditorsOnTwoThreads() {
  auto first = MakeStarted(48000.0, 256);
  auto second = MakeStarted(44100.0, 512);
  std::vector<float> left(512), right(512);
  float* outs[] = {left.data(), right.data()};
  for (Thudrix* plug : {first.get(), second.get()}) {
    vst2::VstEffect* effect = plug->Effect();
    effect->setParameter(effect, kParamTrigger, 1.0f);
    effect->processReplacing(effect, nullptr, outs, 512);
  }
  if (DecodedArtwork() != 0) return 2;  // made and played, editors closed

  std::atomic<int> ready{0};
  std::vector<Pixel32> pictures[2];
  auto draw = [&](Thudrix* plug, std::vector<Pixel32>* picture) {
    ready.fetch_add(1);
    while (ready.load() < 2) std::this_thread::yield();
    Editor* editor = plug->GetEditor();
    LockHold hold(plug->InstanceLock());
    editor->DrawControls(PixelRect{0, 0, editor->Width(), editor->Height()});
    *picture = WholePicture(*editor);
  };
  std::thread a(draw, first.get(), &pictures[0]);
  std::thread b(draw, second.get(), &pictures[1]);
  a.join();
  b.join();
  if (DecodedArtwork() != int(std::size(kArtworkIds))) return 3;
  if (pictures[0].empty() || pictures[0] != pictures[1]) return 4;

  // Drawn again with every image decoded: the racing draws were complete.
  Editor* editor = first->GetEditor();
  editor->DrawControls(PixelRect{0, 0, editor->Width(), editor->Height()});
  if (WholePicture(*editor) != pictures[0]) return 5;
  return 0;
}

}  // namespace

// Hosts often open two instances' editors at once on two threads; the first
// decodes the images, and neither may draw a half-decoded one.
TEST_F(Stress, FirstEditorsDrawnAtOnceOnTwoThreadsDecodeTheImagesOnceForBoth) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(FirstEditorsOnTwoThreads()), testing::ExitedWithCode(0), "");
}

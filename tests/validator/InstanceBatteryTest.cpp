// Many instances, many lifetimes, and the editor opened and closed while
// audio runs on another thread.
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "tests/validator/ModuleHost.h"
#include "tests/validator/X11Parent.h"

using namespace validator;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizer's allocator owns the heap
#else
constexpr bool kSanitized = false;
#endif

long ResidentPages() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident;
}

// Renders on its own thread until stopped, as a host's processing thread.
class AudioThread {
public:
  explicit AudioThread(Instance& instance) : instance_(instance), thread_([this] { Run(); }) {}
  ~AudioThread() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long Blocks() const { return blocks_; }
  void WaitForBlocks(long count) const {
    while (blocks_ < count) std::this_thread::yield();
  }
  long BadBlocks() const { return badBlocks_; }

private:
  void Run() {
    std::vector<float> left(256), right(256);
    float* outs[] = {left.data(), right.data()};
    vst2::VstEffect* e = instance_.Effect();
    while (!stop_) {
      if (blocks_ % 50 == 0) instance_.Midi(3, 0x90, 33, 127);
      e->processReplacing(e, nullptr, outs, 256);
      // The knobs are moved meanwhile, up to their maximum, where one hit
      // peaks near 4.5.
      for (float x : left)
        if (!std::isfinite(x) || std::fabs(x) >= 8.0f) {
          ++badBlocks_;
          break;
        }
      ++blocks_;
    }
  }
  Instance& instance_;
  std::atomic<bool> stop_{false};
  std::atomic<long> blocks_{0};
  std::atomic<long> badBlocks_{0};
  std::thread thread_;
};

// Sets an environment variable for one scope.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace

using InstanceBattery = ModuleTest;

// 64 instances at once, configured alike and fed the same notes in
// interleaved calls: they sound alike and none disturbs another.
TEST_F(InstanceBattery, SixtyFourInstancesAtOnce) {
  std::vector<std::unique_ptr<Instance>> instances;
  for (int i = 0; i < 64; ++i) {
    instances.push_back(std::make_unique<Instance>(44100.0f, 512));
    ASSERT_TRUE(*instances.back()) << "instance " << i;
  }
  std::vector<std::vector<float>> outputs(64);
  for (int block = 0; block < 40; ++block) {
    for (auto& instance : instances) {
      if (block % 10 == 0) instance->Midi(block, 0x90, 33, 127);
      const std::vector<float> out = instance->Render(512);
      auto& all = outputs[size_t(&instance - instances.data())];
      all.insert(all.end(), out.begin(), out.end());
    }
  }
  EXPECT_GT(Peak(outputs[0]), 0.01f);
  EXPECT_TRUE(Sane(outputs[0]));
  for (size_t i = 1; i < outputs.size(); ++i) EXPECT_EQ(outputs[i], outputs[0]) << "instance " << i;
  instances.clear();
}

// A thousand lifetimes leave the heap where it was: whatever one instance
// allocates, closing it gives back (the shared caches fill on the first).
TEST_F(InstanceBattery, CreateAndDestroyAThousandTimesWithoutGrowth) {
  auto lifetime = [](int n) {
    Instance instance(44100.0f, 64 + n % 1024);
    instance.Midi(0, 0x90, 33, 127);
    instance.Render(128);
    void* data = nullptr;
    instance.Call(vst2::effGetChunk, 1, 0, &data);
  };
  for (int n = 0; n < 20; ++n) lifetime(n);
  const size_t heapBefore = mallinfo2().uordblks;
  const long pagesBefore = ResidentPages();
  for (int n = 0; n < 1000; ++n) lifetime(n);
  const size_t heapAfter = mallinfo2().uordblks;
  const long pagesAfter = ResidentPages();
  const long pageKiB = sysconf(_SC_PAGESIZE) / 1024;
  std::printf("1000 lifetimes: heap in use %zu -> %zu bytes, resident %ld -> %ld KiB\n", heapBefore, heapAfter,
              pagesBefore * pageKiB, pagesAfter * pageKiB);
  if (kSanitized) GTEST_SKIP() << "the heap belongs to the sanitizer here; its leak checker covers this";
  // Less than 64 bytes per lifetime: a leak of any real object shows.
  EXPECT_LT(heapAfter, heapBefore + 64 * 1000);
  EXPECT_LT(pagesAfter * pageKiB, pagesBefore * pageKiB + 4096);
}

// Without a display the editor cannot open: effEditOpen answers 0, whatever
// parent it is given, and closing, idling and the rectangle stay safe, with
// audio running on another thread all the while.
TEST_F(InstanceBattery, EditorWithoutDisplayOpenedAndClosedWhileAudioRuns) {
  ScopedEnv noDisplay("DISPLAY", nullptr);
  Instance instance(44100.0f, 256);
  AudioThread audio(instance);
  audio.WaitForBlocks(10);
  for (int round = 0; round < 200; ++round) {
    vst2::ERect* rect = nullptr;
    ASSERT_EQ(instance.Call(vst2::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 592);
    EXPECT_EQ(rect->bottom - rect->top, 442);
    void* parent = round % 2 ? nullptr : reinterpret_cast<void*>(uintptr_t(0x2a00001 + round));
    EXPECT_EQ(instance.Call(vst2::effEditOpen, 0, 0, parent), 0) << "round " << round;
    instance.Call(vst2::effEditIdle);
    instance.Call(vst2::effEditClose);
    instance.Set(round % 9, float(round % 7) / 6.0f);
  }
  audio.Stop();
  EXPECT_GT(audio.Blocks(), 10);
  EXPECT_EQ(audio.BadBlocks(), 0);
}

// With a display, the editor becomes a child of a real parent window, 200
// times over, while audio runs. Skipped without a display, and while the
// build has no window editor (effEditOpen answers 0).
TEST_F(InstanceBattery, EditorInARealParentWindowWhileAudioRuns) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  X11Parent parent(592, 442);
  if (!parent.Valid()) GTEST_SKIP() << "display cannot be opened";

  Instance instance(44100.0f, 256);
  AudioThread audio(instance);
  audio.WaitForBlocks(10);
  int opened = 0;
  for (int round = 0; round < 200; ++round) {
    const intptr_t answer = instance.Call(vst2::effEditOpen, 0, 0, parent.Handle());
    if (answer == 0 && round == 0) break;
    EXPECT_EQ(answer, 1) << "round " << round;
    opened += answer == 1;
    for (int idle = 0; idle < 3; ++idle) instance.Call(vst2::effEditIdle);
    instance.Set(round % 9, float(round % 7) / 6.0f);
    EXPECT_EQ(instance.Call(vst2::effEditClose), 1);
  }
  audio.Stop();
  parent.Sync();
  if (opened == 0) GTEST_SKIP() << "this build has no window editor yet";
  EXPECT_EQ(audio.BadBlocks(), 0);
}

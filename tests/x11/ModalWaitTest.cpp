// The editor's modal conversations (menus, dialogs) wait for the user inside
// effEditIdle, a dispatcher call that holds the instance lock. The host's
// audio thread needs that lock too, so the waits must give it up: a user
// looking at a menu must not stop the host's audio.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "graphics/x11/X11Editor.h"
#include "instrument/MidiLearnTable.h"
#include "instrument/Thudrix.h"
#include "tests/instrument/StartedThudrix.h"
#include "platform/Lock.h"
#include "tests/vst2/OneMidiEvent.h"
#include "tests/x11/XTestSupport.h"

namespace {

using namespace x11_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = Editor::kDefaultWidth;
constexpr int kHeight = Editor::kDefaultHeight;
constexpr int32_t kBlock = 256;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(3ms);
  }
  return done();
}

// One block of audio as a host renders it: a note, then processReplacing.
// The note lights the editor's LED from this thread.
void RenderBlock(vst2::VstEffect* effect, std::vector<float>& left, std::vector<float>& right) {
  OneMidiEvent note(0, 0x90, 36, 100);
  effect->dispatcher(effect, vst2::effProcessEvents, 0, 0, &note.list, 0.0f);
  float* outs[] = {left.data(), right.data()};
  effect->processReplacing(effect, nullptr, outs, kBlock);
}

class ModalWait : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_TEST_X_SERVER();
    ASSERT_TRUE(kXlibThreadsReady);
    MidiLearnTable::Shared().Reset();
    user = std::make_unique<TestDisplay>();
    ASSERT_NE(user->Get(), nullptr);
    plug = MakeStartedThudrix(&QuietHost, 44100.0f, kBlock);
    vst2::VstEffect* effect = plug->Effect();
    parent = user->CreateParent(0, 0, kWidth, kHeight);
    ASSERT_EQ(effect->dispatcher(effect, vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parent)), 0.0f), 1);
    PumpFor([this] { Idle(); }, 200ms);
  }
  void TearDown() override {
    if (plug) plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    plug.reset();
    user.reset();
    MidiLearnTable::Shared().Reset();
  }

  void Idle() { plug->Effect()->dispatcher(plug->Effect(), vst2::effEditIdle, 0, 0, nullptr, 0.0f); }
  X11Editor& Editor() { return *static_cast<X11Editor*>(plug->GetEditor()); }

  std::unique_ptr<TestDisplay> user;
  std::unique_ptr<Thudrix> plug;
  Window parent = 0;
};

// The host's interface thread idles the editor; a click on the preset strip
// opens the preset menu inside one of those idle calls. Meanwhile the host's
// audio thread must keep rendering.
TEST_F(ModalWait, AudioKeepsRunningWhileThePresetMenuIsOpen) {
  std::atomic<bool> stopInterface{false};
  std::thread interfaceThread([&] {
    while (!stopInterface.load()) {
      Idle();
      std::this_thread::sleep_for(4ms);
    }
  });
  std::atomic<bool> stopAudio{false};
  std::atomic<int> blocks{0};
  std::thread audioThread;
  // Whatever happens below, the menu is dismissed and the threads end, so
  // that a failure cannot hang the test.
  struct Cleanup {
    std::function<void()> run;
    ~Cleanup() { run(); }
  } cleanup{[&] {
    stopAudio = true;
    for (int i = 0; i < 5 && !user->MenuWindows().empty(); ++i) {
      user->Key(XK_Escape);
      std::this_thread::sleep_for(50ms);
    }
    if (audioThread.joinable()) audioThread.join();
    stopInterface = true;
    if (interfaceThread.joinable()) interfaceThread.join();
  }};

  user->Click(kPresetStripX, kPresetStripY);
  ASSERT_TRUE(WaitFor([&] { return !user->MenuWindows().empty(); }, 3000ms)) << "the preset menu did not open";

  audioThread = std::thread([&] {
    std::vector<float> left(kBlock), right(kBlock);
    while (!stopAudio.load()) {
      RenderBlock(plug->Effect(), left, right);
      blocks.fetch_add(1);
    }
  });
  const bool rendered = WaitFor([&] { return blocks.load() >= 50; }, 1000ms);
  const int renderedBlocks = blocks.load();
  // The menu was open before the audio started and still is: every block
  // counted was rendered while it was open.
  const bool stillOpen = !user->MenuWindows().empty();
  EXPECT_TRUE(rendered) << renderedBlocks << " blocks in a second with the menu open";
  EXPECT_TRUE(stillOpen);

  // Escape closes the menu without choosing; the idle call it ran in
  // returns and the interface goes on as before.
  user->Key(XK_Escape);
  EXPECT_TRUE(WaitFor([&] { return user->MenuWindows().empty(); }, 3000ms));
  stopAudio = true;
  audioThread.join();
  stopInterface = true;
  interfaceThread.join();

  // The idle call left the lock as it found it: free.
  RecursiveLock& lock = plug->InstanceLock();
  EXPECT_FALSE(lock.HeldByCaller());
  ASSERT_TRUE(lock.TryEnter());
  lock.Leave();
  // And the editor still answers its idle calls and shows its drawing.
  PumpFor([this] { Idle(); }, 100ms);
  EXPECT_TRUE(Editor().HasWindow());
}

// Runs a dialog the way a dispatcher call does (with the lock held, here
// twice over) on another thread, and checks that the lock is free while the
// dialog waits and held again, to the same depth, once it returns.
void CheckDialogGivesUpTheLock(RecursiveLock& lock, FakeDialogTool& tool, const std::function<void()>& dialog) {
  std::atomic<bool> depthRestored{false};
  std::atomic<bool> freeAfterwards{false};
  std::thread interfaceThread([&] {
    {
      LockHold outer(lock);
      LockHold inner(lock);
      dialog();
      const bool held = lock.HeldByCaller();
      lock.Leave();
      const bool stillHeld = lock.HeldByCaller();
      lock.Enter();
      depthRestored = held && stillHeld;
    }
    freeAfterwards = !lock.HeldByCaller();
  });
  const bool started = WaitFor([&] { return tool.Started(); }, 3000ms);
  EXPECT_TRUE(started) << "the dialog tool did not start";
  bool taken = false;
  if (started) {
    taken = WaitFor([&] { return lock.TryEnter(); }, 1000ms);
    if (taken) lock.Leave();
  }
  tool.Answer();
  interfaceThread.join();
  EXPECT_TRUE(taken) << "the lock stayed held while the dialog waited";
  EXPECT_TRUE(depthRestored);
  EXPECT_TRUE(freeAfterwards);
}

TEST_F(ModalWait, DialogsWaitWithoutTheInstanceLock) {
  FakeDialogTool tool;
  ASSERT_TRUE(tool.Ready());
  RecursiveLock& lock = plug->InstanceLock();

  int32_t answer = 0;
  CheckDialogGivesUpTheLock(lock, tool,
                            [&] { answer = Editor().ShowMessage("Sure?", "Question", desktop::kMessageYesNo); });
  EXPECT_EQ(answer, desktop::kAnswerYes);

  ArgbColor color{255, 1, 2, 3};
  bool picked = false;
  CheckDialogGivesUpTheLock(lock, tool, [&] { picked = Editor().AskForColor(color, "Colour"); });
  EXPECT_TRUE(picked);
  EXPECT_EQ(color.red, 10);
  EXPECT_EQ(color.green, 20);
  EXPECT_EQ(color.blue, 30);
  EXPECT_EQ(color.alpha, 255);

  TextBuf file;
  TextBuf folder;
  folder.Set("/tmp");
  CheckDialogGivesUpTheLock(lock, tool, [&] { Editor().AskForFile(file, Editor::kFileSave, folder, "tvpreset"); });
  EXPECT_STREQ(file.Get(), "/tmp/chosen");
  EXPECT_STREQ(folder.Get(), "/tmp/");
}

}  // namespace

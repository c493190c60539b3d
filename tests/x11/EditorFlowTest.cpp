// The instrument's editor as a user meets it inside a host: the factory
// sounds installed, the window driven with XTest, and the screen compared
// with what should be there.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "graphics/x11/X11Editor.h"
#include "instrument/MidiLearnTable.h"
#include "instrument/Thudrix.h"
#include "platform/Files.h"
#include "platform/Lock.h"
#include "graphics/PopupMenu.h"
#include "presets/PresetBrowser.h"
#include "presets/PresetFiles.h"
#include "tests/instrument/StartedThudrix.h"
#include "raster/RasterBitmap.h"
#include "tests/x11/XTestSupport.h"

extern char** environ;

namespace {

using namespace x11_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = Editor::kDefaultWidth;
constexpr int kHeight = Editor::kDefaultHeight;
constexpr int kPitchKnobX = 120, kPitchKnobY = 152;
constexpr int kPadX = 519, kPadY = 139;
constexpr int kNextArrowX = 402, kNextArrowY = 29;
// A dialog is a shell script here: on a busy machine it may take a while to start.
constexpr auto kDialogLimit = 10000ms;

std::string MakeScratchFolder(const char* tag) {
  std::string pattern = std::string("/tmp/thudra-") + tag + "-XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  return pattern;
}

// The factory sounds in a scratch preset root, and a scratch HOME, once per
// program: nothing the developer has installed changes what runs.
void InstallFactorySounds() {
  static const bool installed = [] {
    const std::string home = MakeScratchFolder("home");
    const std::string root = MakeScratchFolder("presets");
    if (home.empty() || root.empty()) return false;
    setenv("HOME", home.c_str(), 1);
    std::error_code error;
    std::filesystem::copy(std::string(THUDRA_SOURCE_DIR) + "/resources/presets/Factory Presets",
                          root + "/Factory Presets", std::filesystem::copy_options::recursive, error);
    SetPresetRootFolder(root + "/");
    return !error;
  }();
  ASSERT_TRUE(installed);
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 3000ms) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(3ms);
  }
  return done();
}

struct HostCall {
  int32_t opcode;
  int32_t index;
};
std::mutex gCallsMutex;
std::vector<HostCall> gCalls;

intptr_t RecordingHost(vst2::VstEffect*, int32_t opcode, int32_t index, intptr_t, void*, float) {
  if (opcode == vst2::audioMasterBeginEdit || opcode == vst2::audioMasterEndEdit) {
    std::lock_guard<std::mutex> hold(gCallsMutex);
    gCalls.push_back({opcode, index});
  }
  return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

class EditorFlow : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_TEST_X_SERVER();
    ASSERT_TRUE(kXlibThreadsReady);
    InstallFactorySounds();
    MidiLearnTable::Shared().Reset();
    {
      std::lock_guard<std::mutex> hold(gCallsMutex);
      gCalls.clear();
    }
    user = std::make_unique<TestDisplay>();
    ASSERT_NE(user->Get(), nullptr);
    plug = std::make_unique<Thudrix>(&RecordingHost);
    vst2::VstEffect* e = plug->Effect();
    e->dispatcher(e, vst2::effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    e->dispatcher(e, vst2::effSetBlockSize, 0, 256, nullptr, 0.0f);
    e->dispatcher(e, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
    parent = user->CreateParent(0, 0, kWidth, kHeight);
    ASSERT_EQ(e->dispatcher(e, vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parent)), 0.0f), 1);
    Settle();
  }
  void TearDown() override {
    if (plug) plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    plug.reset();
    user.reset();
    MidiLearnTable::Shared().Reset();
  }

  void Idle() { plug->Effect()->dispatcher(plug->Effect(), vst2::effEditIdle, 0, 0, nullptr, 0.0f); }
  void Settle() {
    PumpFor([this] { Idle(); }, 200ms);
  }
  X11Editor& Editor() { return *static_cast<X11Editor*>(plug->GetEditor()); }
  Window EditorWindow() { return Window(reinterpret_cast<uintptr_t>(Editor().EditorWindow())); }
  double Param(int32_t index) { return plug->ParamAt(index)->NormalizedValue(); }
  std::vector<uint32_t> Shown() { return user->Capture(EditorWindow(), kWidth, kHeight); }

  static int32_t Differing(const std::vector<uint32_t>& shown, const RasterBitmap& drawn) {
    if (shown.size() != size_t(kWidth) * kHeight) return -1;
    int32_t differing = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if ((drawn.PixelData()[y * drawn.RowSpan() + x] & 0xFFFFFF) != shown[size_t(y) * kWidth + x]) ++differing;
    return differing;
  }
  // The screen against the editor's drawing as it stands.
  int32_t DifferingFromDrawing() { return Differing(Shown(), *Editor().DrawBitmap()); }
  // The screen against a fresh off-screen render of every control.
  int32_t DifferingFromFreshRender(const std::vector<uint32_t>& shown) {
    for (int32_t i = 0; i < Editor().ControlCount(); ++i) Editor().ControlAt(i)->MarkDirty(false);
    Editor().DrawControls(PixelRect{0, 0, kWidth, kHeight});
    return Differing(shown, *Editor().DrawBitmap());
  }

  // Gestures begun and not ended.
  static int32_t OpenGestures() {
    std::lock_guard<std::mutex> hold(gCallsMutex);
    int32_t open = 0;
    for (const HostCall& call : gCalls) open += call.opcode == vst2::audioMasterBeginEdit ? 1 : -1;
    return open;
  }

  // The host's interface thread, idling the editor while the test's hands
  // work a modal menu. Menus left open by a failed step are dismissed.
  class InterfaceThread {
  public:
    explicit InterfaceThread(EditorFlow& flow)
        : flow_(flow), thread_([this] {
            while (!stop_.load()) {
              flow_.Idle();
              std::this_thread::sleep_for(4ms);
            }
          }) {}
    ~InterfaceThread() {
      for (int i = 0; i < 5 && !flow_.user->MenuWindows().empty(); ++i) {
        flow_.user->Key(XK_Escape);
        std::this_thread::sleep_for(50ms);
      }
      stop_ = true;
      thread_.join();
    }

  private:
    EditorFlow& flow_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
  };

  bool WaitForMenus(size_t count) {
    return WaitFor([&] { return user->MenuWindows().size() == count; });
  }

  // A white window passes over the editor and goes away, leaving it exposed.
  void PassAWindowOverTheEditor() {
    const int screen = DefaultScreen(user->Get());
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(user->Get(), screen);
    const Window cover =
        XCreateWindow(user->Get(), RootWindow(user->Get(), screen), 0, 0, kWidth, kHeight, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(user->Get(), cover);
    XSync(user->Get(), False);
    XDestroyWindow(user->Get(), cover);
    XSync(user->Get(), False);
  }

  // Chooses "Save File..." from the strip's menu with the host's idle calls
  // on this thread; true once the dialog runs.
  bool ChooseSaveFile(FakeDialogTool& tool) {
    const pid_t before = tool.LastPid();
    std::thread hands([&] {
      if (!WaitForMenus(1) || !user->WaitForKeyboardGrab()) return;
      user->Key(XK_Down);  // Save File...
      user->Key(XK_Return);
    });
    user->Click(kPresetStripX, kPresetStripY);
    const bool started =
        PumpUntil([this] { Idle(); }, [&] { return tool.Started() && tool.LastPid() > 0 && tool.LastPid() != before; },
                  kDialogLimit);
    hands.join();
    return started;
  }
  // Pumps idle calls until the dialog that follows pid has started.
  bool WaitForNextDialog(FakeDialogTool& tool, pid_t pid) {
    return PumpUntil([this] { Idle(); }, [&] { return tool.Started() && tool.LastPid() > 0 && tool.LastPid() != pid; },
                     kDialogLimit);
  }
  bool WaitUntilNoDialog() {
    return PumpUntil([this] { Idle(); }, [&] { return !Editor().DialogPending(); }, kDialogLimit);
  }

  // A dialog that waits inside an idle call would hold the test's only
  // interface thread: past its time this answers every dialog and closes
  // every menu, so that a failure ends instead of hanging.
  class DialogWatchdog {
  public:
    DialogWatchdog(EditorFlow& flow, FakeDialogTool& tool)
        : thread_([this, &flow, &tool] {
            std::unique_lock<std::mutex> hold(mutex_);
            if (done_.wait_for(hold, 2 * kDialogLimit, [this] { return stop_; })) return;
            while (!done_.wait_for(hold, 300ms, [this] { return stop_; })) {
              tool.Answer();
              if (!flow.user->MenuWindows().empty()) flow.user->Key(XK_Escape);
            }
          }) {}
    ~DialogWatchdog() {
      {
        std::lock_guard<std::mutex> hold(mutex_);
        stop_ = true;
      }
      done_.notify_all();
      thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool stop_ = false;
    std::thread thread_;
  };

  // A scratch folder for the files the user saves.
  std::string SaveFolder() {
    if (saveFolder_.empty()) saveFolder_ = MakeScratchFolder("saved");
    return saveFolder_;
  }

  std::unique_ptr<TestDisplay> user;
  std::unique_ptr<Thudrix> plug;
  Window parent = 0;
  std::string saveFolder_;
};

TEST_F(EditorFlow, SoundChosenFromASubmenuIsShownWithoutStalePixels) {
  const std::vector<uint32_t> before = Shown();
  {
    InterfaceThread interface(*this);
    user->Click(kPresetStripX, kPresetStripY);
    ASSERT_TRUE(WaitForMenus(1));
    ASSERT_TRUE(user->WaitForKeyboardGrab());
    user->Key(XK_Down);   // Save File...
    user->Key(XK_Down);   // Factory Presets, past the separator
    user->Key(XK_Right);  // its first sound
    ASSERT_TRUE(WaitForMenus(2));
    for (int i = 0; i < 4; ++i) user->Key(XK_Down);
    user->Key(XK_Return);  // 05 Overdrive Kick
    ASSERT_TRUE(WaitForMenus(0));
  }
  Settle();
  const std::vector<uint32_t> after = Shown();
  ASSERT_NE(after, before) << "the chosen sound changed nothing on screen";
  EXPECT_EQ(DifferingFromFreshRender(after), 0);
}

TEST_F(EditorFlow, KeysTheEditorDoesNotUseReachTheHostWindow) {
  XSelectInput(user->Get(), parent, KeyPressMask | KeyReleaseMask);
  user->Click(kPitchKnobX, kPitchKnobY);
  Settle();
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(user->Get(), &focused, &revert);
  EXPECT_NE(focused, EditorWindow()) << "a click took the keyboard from the host";

  user->MoveTo(kPitchKnobX, kPitchKnobY);
  user->Key(XK_space);
  bool pressed = false, released = false;
  PumpUntil([this] { Idle(); },
            [&] {
              while (XPending(user->Get()) > 0) {
                XEvent event;
                XNextEvent(user->Get(), &event);
                if ((event.type != KeyPress && event.type != KeyRelease) || event.xkey.window != parent) continue;
                if (XLookupKeysym(&event.xkey, 0) != XK_space) continue;
                (event.type == KeyPress ? pressed : released) = true;
              }
              return pressed && released;
            });
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(released);
}

// Under a window manager the host's window sits in the manager's frame; the
// keys go to the host's window, which the manager marked with WM_STATE.
TEST_F(EditorFlow, KeysReachTheHostWindowInsideAWindowManagerFrame) {
  plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
  Display* display = user->Get();
  const Window frame = user->CreateParent(0, 0, kWidth, kHeight);
  const Window host = XCreateSimpleWindow(display, frame, 0, 0, kWidth, kHeight, 0, 0, 0);
  const Atom wmState = XInternAtom(display, "WM_STATE", False);
  const long normalState[2] = {1, 0};
  XChangeProperty(display, host, wmState, wmState, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(normalState), 2);
  XSelectInput(display, host, KeyPressMask);
  XSelectInput(display, frame, KeyPressMask);
  XMapWindow(display, host);
  XSync(display, False);
  ASSERT_EQ(plug->Dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(host)), 0), 1);
  Settle();

  user->MoveTo(kPitchKnobX, kPitchKnobY);
  user->Key(XK_space);
  Window receiver = 0;
  PumpUntil([this] { Idle(); },
            [&] {
              while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == KeyPress) receiver = event.xkey.window;
              }
              return receiver != 0;
            });
  EXPECT_EQ(receiver, host);
}

TEST_F(EditorFlow, EditorRepaintsWhileTheSaveDialogIsOpen) {
  FakeDialogTool tool;
  ASSERT_TRUE(tool.Ready());
  std::thread interface([&] {
    // As effEditIdle runs it: with the instance lock held.
    LockHold hold(plug->InstanceLock());
    TextBuf file;
    TextBuf folder;
    folder.Set("/tmp");
    Editor().AskForFile(file, Editor::kFileSave, folder, "tvpreset");
  });
  struct Release {
    FakeDialogTool& tool;
    std::thread& interface;
    ~Release() {
      tool.Answer();
      interface.join();
    }
  } release{tool, interface};
  ASSERT_TRUE(WaitFor([&] { return tool.Started(); }));

  PassAWindowOverTheEditor();
  EXPECT_TRUE(WaitFor([&] { return DifferingFromDrawing() == 0; })) << "the exposed editor stayed blank";

  // A change from the host is painted by the tick.
  const std::vector<uint32_t> before = Shown();
  vst2::VstEffect* e = plug->Effect();
  e->setParameter(e, kParamPitch, Param(kParamPitch) < 0.5f ? 0.9f : 0.1f);
  EXPECT_TRUE(WaitFor([&] { return Shown() != before; })) << "the knob was not repainted";
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The save dialog runs while the host's idle calls come and go: the host's
// own window stays alive, the editor paints, audio renders, and the answer
// is saved by a later idle call.
TEST_F(EditorFlow, HostIdleReturnsWhileTheSaveDialogIsOpen) {
  FakeDialogTool tool;
  ASSERT_TRUE(tool.Ready());
  const std::string chosen = SaveFolder() + "/Kick v1.2";  // a dot, but not the extension
  tool.ChooseFile(chosen);
  DialogWatchdog watchdog(*this, tool);
  ASSERT_TRUE(ChooseSaveFile(tool));

  int returnedWhileOpen = 0;
  for (int i = 0; i < 20; ++i) {
    Idle();
    if (tool.Started()) ++returnedWhileOpen;
  }
  EXPECT_EQ(returnedWhileOpen, 20);

  PassAWindowOverTheEditor();
  EXPECT_TRUE(PumpUntil([this] { Idle(); }, [&] { return DifferingFromDrawing() == 0; }))
      << "the exposed editor stayed blank";
  const std::vector<uint32_t> before = Shown();
  vst2::VstEffect* e = plug->Effect();
  e->setParameter(e, kParamPitch, Param(kParamPitch) < 0.5f ? 0.9f : 0.1f);
  EXPECT_TRUE(PumpUntil([this] { Idle(); }, [&] { return Shown() != before; })) << "the knob was not repainted";

  std::atomic<int> blocks{0};
  std::atomic<bool> stopAudio{false};
  std::thread audio([&] {
    std::vector<float> left(256), right(256);
    float* outs[] = {left.data(), right.data()};
    while (!stopAudio.load()) {
      e->processReplacing(e, nullptr, outs, 256);
      blocks.fetch_add(1);
    }
  });
  const bool rendered = PumpUntil([this] { Idle(); }, [&] { return blocks.load() >= 50; });
  stopAudio = true;
  audio.join();
  EXPECT_TRUE(rendered);
  EXPECT_TRUE(tool.Started()) << "the dialog was answered before the checks ended";
  EXPECT_FALSE(platform::IsRegularFile(chosen + ".tvpreset")) << "saved before the user answered";

  tool.Answer();
  EXPECT_TRUE(
      PumpUntil([this] { Idle(); }, [&] { return platform::IsRegularFile(chosen + ".tvpreset"); }, kDialogLimit));
  EXPECT_FALSE(platform::IsRegularFile(chosen));
  EXPECT_FALSE(Editor().DialogPending());
}

TEST_F(EditorFlow, SavingOverAFileTheDialogDidNotConfirmAsksWithoutHoldingTheHost) {
  FakeDialogTool tool;
  ASSERT_TRUE(tool.Ready());
  const std::string existing = SaveFolder() + "/Plain Name.tvpreset";
  std::ofstream(existing) << "the user's own sound";
  tool.ChooseFile(SaveFolder() + "/Plain Name");
  DialogWatchdog watchdog(*this, tool);

  // Answered "No": the file stays as it was.
  tool.AnswerQuestions(false);
  ASSERT_TRUE(ChooseSaveFile(tool));
  pid_t pid = tool.LastPid();
  tool.Answer();
  ASSERT_TRUE(WaitForNextDialog(tool, pid)) << "no question before replacing";
  pid = tool.LastPid();
  int returnedWhileAsking = 0;
  for (int i = 0; i < 10; ++i) {
    Idle();
    if (tool.Started()) ++returnedWhileAsking;
  }
  EXPECT_EQ(returnedWhileAsking, 10);
  tool.Answer();
  ASSERT_TRUE(WaitUntilNoDialog());
  EXPECT_EQ(FileText(existing), "the user's own sound");

  // Answered "Yes": replaced by the sound.
  tool.AnswerQuestions(true);
  ASSERT_TRUE(ChooseSaveFile(tool));
  pid = tool.LastPid();
  tool.Answer();
  ASSERT_TRUE(WaitForNextDialog(tool, pid));
  tool.Answer();
  ASSERT_TRUE(WaitUntilNoDialog());
  const std::string replaced = FileText(existing);
  EXPECT_NE(replaced, "the user's own sound");
  EXPECT_FALSE(replaced.empty());
  EXPECT_FALSE(platform::IsRegularFile(SaveFolder() + "/Plain Name"));
}

TEST_F(EditorFlow, SecondStripClickWhileTheDialogIsOpenOpensNothing) {
  FakeDialogTool tool;
  ASSERT_TRUE(tool.Ready());
  tool.ChooseFile("");  // then cancelled
  DialogWatchdog watchdog(*this, tool);
  ASSERT_TRUE(ChooseSaveFile(tool));
  const pid_t pid = tool.LastPid();

  // A menu opening would hold the idle call: it is watched for from here and
  // closed again.
  std::atomic<bool> menuOpened{false};
  std::atomic<bool> stopSpy{false};
  std::thread spy([&] {
    while (!stopSpy.load()) {
      if (!user->MenuWindows().empty()) {
        menuOpened = true;
        user->Key(XK_Escape);
      }
      std::this_thread::sleep_for(10ms);
    }
  });
  user->Click(kPresetStripX, kPresetStripY);
  PumpFor([this] { Idle(); }, 300ms);
  stopSpy = true;
  spy.join();
  EXPECT_FALSE(menuOpened.load()) << "a menu opened over the pending dialog";
  EXPECT_EQ(tool.LastPid(), pid) << "a second dialog was started";
  EXPECT_TRUE(Editor().DialogPending());

  tool.Answer();
  EXPECT_TRUE(WaitUntilNoDialog());
  // Once it is answered the strip opens its menu again.
  std::atomic<bool> menuShown{false};
  std::thread hands([&] {
    if (!WaitForMenus(1) || !user->WaitForKeyboardGrab()) return;
    menuShown = true;
    user->Key(XK_Escape);
  });
  user->Click(kPresetStripX + 30, kPresetStripY);  // far enough not to pair as a double click
  PumpUntil([this] { Idle(); }, [&] { return menuShown.load(); });
  hands.join();
  EXPECT_TRUE(menuShown.load());
}

bool ProcessGone(pid_t pid) { return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH; }

TEST_F(EditorFlow, ClosingTheEditorOrTheInstanceEndsTheDialogAndSavesNothing) {
  FakeDialogTool tool;
  ASSERT_TRUE(tool.Ready());
  const std::string chosen = SaveFolder() + "/Never Saved";
  tool.ChooseFile(chosen);
  DialogWatchdog watchdog(*this, tool);

  ASSERT_TRUE(ChooseSaveFile(tool));
  pid_t pid = tool.LastPid();
  plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
  EXPECT_TRUE(ProcessGone(pid)) << "the dialog outlived the editor";
  // Reopened and idled: the closed dialog's answer never comes.
  ASSERT_EQ(plug->Dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parent)), 0), 1);
  EXPECT_FALSE(Editor().DialogPending());
  Settle();
  EXPECT_FALSE(platform::IsRegularFile(chosen + ".tvpreset"));

  ASSERT_TRUE(ChooseSaveFile(tool));
  pid = tool.LastPid();
  plug.reset();
  EXPECT_TRUE(ProcessGone(pid)) << "the dialog outlived the instance";
  EXPECT_FALSE(platform::IsRegularFile(chosen + ".tvpreset"));
}

TEST_F(EditorFlow, MiddleClicksLeaveNothingStuck) {
  const auto middleClick = [&](int x, int y) {
    user->MoveTo(x, y);
    user->Button(Button2, true);
    Settle();
    user->Button(Button2, false);
    Settle();
  };
  middleClick(kPitchKnobX, kPitchKnobY);
  middleClick(kPadX, kPadY);
  middleClick(kNextArrowX, kNextArrowY);
  EXPECT_EQ(OpenGestures(), 0);
  EXPECT_EQ(Param(kParamTrigger), 0.0);
  EXPECT_EQ(Param(kParamPresetNext), 0.0);
  EXPECT_EQ(DifferingFromFreshRender(Shown()), 0);

  // The next left click works as ever.
  const std::vector<uint32_t> before = Shown();
  user->Click(kNextArrowX, kNextArrowY);
  EXPECT_TRUE(PumpUntil([this] { Idle(); }, [&] { return Shown() != before; }));
  Settle();
  EXPECT_EQ(OpenGestures(), 0);
}

TEST_F(EditorFlow, SaveItemSaysWhatToInstallWithoutADialogTool) {
  const char* path = std::getenv("PATH");
  const std::string oldPath = path ? path : "";
  const std::string empty = MakeScratchFolder("nopath");
  setenv("PATH", empty.c_str(), 1);
  const char* reason = Editor().FileDialogUnavailableReason();
  const std::string shownReason = reason ? reason : "";
  std::unique_ptr<PopupMenu> menu(BuildPresetMenu(reason));
  setenv("PATH", oldPath.c_str(), 1);
  rmdir(empty.c_str());

  EXPECT_NE(shownReason.find("zenity"), std::string::npos);
  ASSERT_GT(menu->ItemCount(), 0);
  EXPECT_TRUE(menu->ItemAt(0)->flags & kItemGrayed);
  EXPECT_NE(std::string(menu->ItemAt(0)->text.Get()).find(shownReason), std::string::npos);

  FakeDialogTool tool;  // zenity on PATH again
  EXPECT_EQ(Editor().FileDialogUnavailableReason(), nullptr);
}

// An X server of this test's own, which it may kill; -1 on failure.
pid_t StartPrivateXServer(std::string& display) { return StartXvfb("1024x768x24", false, display); }

constexpr int kOtherConnectionLost = 3;
int OtherConnectionLost(Display*) { _exit(kOtherConnectionLost); }

// The host process of the test below: two editors open in a window of the
// host's own connection. It reports 'o' once they are open and 'c' once
// the first has seen the server go and been closed; then it touches its
// own connection, whose handler ends the process with kOtherConnectionLost.
int HostEditorsUntilTheServerIsGone(int report) {
  Display* host = XOpenDisplay(nullptr);
  if (!host) return 10;
  XSetIOErrorHandler(&OtherConnectionLost);
  const Window parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, kWidth, kHeight, 0, 0, 0);
  XMapWindow(host, parent);
  XSync(host, False);
  std::unique_ptr<Thudrix> plugs[2] = {MakeStartedThudrix(&RecordingHost, 44100.0f, 256),
                                       MakeStartedThudrix(&RecordingHost, 44100.0f, 256)};
  for (auto& plug : plugs)
    if (plug->Dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parent)), 0) != 1) return 11;
  const auto idle = [&] { plugs[0]->Dispatch(vst2::effEditIdle, 0, 0, nullptr, 0); };
  PumpFor(idle, 100ms);
  if (write(report, "o", 1) != 1) return 12;
  if (!PumpUntil(
          idle, [&] { return !plugs[0]->GetEditor()->HasWindow(); }, 10000ms))
    return 13;
  plugs[0]->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
  plugs[0].reset();
  if (write(report, "c", 1) != 1) return 14;
  // The second editor's display is still open: the host's connection must
  // still reach the handler the host installed.
  XSync(host, False);
  return 15;
}

char ReadReport(int fd, std::chrono::milliseconds limit) {
  pollfd ready{fd, POLLIN, 0};
  char c = 0;
  if (poll(&ready, 1, int(limit.count())) != 1 || read(fd, &c, 1) != 1) return 0;
  return c;
}

TEST(LostServer, HostSurvivesAndClosesTheEditorWhileOtherConnectionsKeepTheirHandler) {
  REQUIRE_TEST_X_SERVER();
  InstallFactorySounds();
  std::string display;
  const pid_t server = StartPrivateXServer(display);
  ASSERT_GT(server, 0);
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    setenv("DISPLAY", display.c_str(), 1);
    _exit(HostEditorsUntilTheServerIsGone(report[1]));
  }
  close(report[1]);
  const char opened = ReadReport(report[0], 10000ms);
  kill(server, SIGKILL);
  waitpid(server, nullptr, 0);
  const char closed = opened == 'o' ? ReadReport(report[0], 15000ms) : 0;
  close(report[0]);
  int status = 0;
  if (!WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 15000ms)) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_EQ(opened, 'o');
  EXPECT_EQ(closed, 'c') << "the host process died with the server";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kOtherConnectionLost);
}

// Our command-line host's gui command, run as a user runs it.
class GuiProcess {
public:
  GuiProcess() {
    const char* argv[] = {"thudra-host", "gui", THUDRA_MODULE_PATH, "--seconds", "60", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, THUDRA_HOST_PATH, &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~GuiProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool Started() const { return pid_ > 0; }

private:
  pid_t pid_ = -1;
};

Window FindTopLevelNamed(Display* display, const char* name) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  XGrabServer(display);
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && !found; ++i) {
      char* title = nullptr;
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
          XFetchName(display, children[i], &title) && title && std::string(title) == name)
        found = children[i];
      if (title) XFree(title);
    }
  }
  XUngrabServer(display);
  XSync(display, False);
  if (children) XFree(children);
  return found;
}

TEST(HostGui, HitLightGoesOutAfterAPadPressAsInAHost) {
  REQUIRE_TEST_X_SERVER();
  InstallFactorySounds();
  TestDisplay user;
  ASSERT_NE(user.Get(), nullptr);
  GuiProcess gui;
  ASSERT_TRUE(gui.Started());
  Window window = 0;
  ASSERT_TRUE(WaitFor([&] { return (window = FindTopLevelNamed(user.Get(), "Tarvolin Thudra")) != 0; }, 10000ms));
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(user.Get(), window, DefaultRootWindow(user.Get()), 0, 0, &x, &y, &child);
  // The hit light's picture.
  constexpr int kLightX = 511, kLightY = 131, kLightWidth = 15, kLightHeight = 9;
  const auto light = [&] {
    const std::vector<uint32_t> shown = user.Capture(window, kLightX + kLightWidth, kLightY + kLightHeight);
    std::vector<uint32_t> region;
    for (int row = kLightY; row < kLightY + kLightHeight && !shown.empty(); ++row)
      for (int column = kLightX; column < kLightX + kLightWidth; ++column)
        region.push_back(shown[size_t(row) * (kLightX + kLightWidth) + column]);
    return region;
  };
  std::vector<uint32_t> off;
  ASSERT_TRUE(WaitFor(
      [&] {
        off = light();
        return std::any_of(off.begin(), off.end(), [](uint32_t pixel) { return pixel != 0; });
      },
      10000ms))
      << "the editor was not painted";
  std::this_thread::sleep_for(200ms);  // nothing to wait on: the first paints settle
  off = light();

  user.Click(x + kPadX, y + kPadY);
  EXPECT_TRUE(WaitFor([&] { return light() != off; })) << "the pad did not light the hit light";
  EXPECT_TRUE(WaitFor([&] { return light() == off; })) << "the hit light stayed on";
}

}  // namespace

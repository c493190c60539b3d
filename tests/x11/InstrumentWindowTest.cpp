// The instrument's editor in a real X window, driven by XTest input as a
// user would, and seen by a host that records what the module tells it.
#include <gtest/gtest.h>

#include <memory>

#include "graphics/Controls.h"
#include "graphics/x11/X11Editor.h"
#include "instrument/MidiLearnTable.h"
#include "instrument/Thudrix.h"
#include "raster/RasterBitmap.h"
#include "tests/x11/XTestSupport.h"

namespace {

using namespace x11_test;
using namespace std::chrono_literals;

constexpr int kWidth = Editor::kDefaultWidth;
constexpr int kHeight = Editor::kDefaultHeight;
constexpr int kPitchKnobX = 120, kPitchKnobY = 152;  // centre of the first knob
constexpr int kTuneSwitchX = 56, kTuneSwitchY = 178;

struct HostCall {
  int32_t opcode;
  int32_t index;
};
std::vector<HostCall>* gHostCalls = nullptr;

intptr_t RecordingHost(vst2::VstEffect*, int32_t opcode, int32_t index, intptr_t, void*, float) {
  const bool gesture =
      opcode == vst2::audioMasterAutomate || opcode == vst2::audioMasterBeginEdit || opcode == vst2::audioMasterEndEdit;
  if (gHostCalls && gesture) gHostCalls->push_back({opcode, index});
  return 0;
}

struct Instance {
  std::unique_ptr<Thudrix> plug;
  Window parent = 0;
  int x = 0;
  int y = 0;

  X11Editor& Editor() const { return *static_cast<X11Editor*>(plug->GetEditor()); }
  Window EditorWindow() const { return Window(reinterpret_cast<uintptr_t>(Editor().EditorWindow())); }
  double Param(int32_t index) const { return plug->ParamAt(index)->NormalizedValue(); }
  intptr_t OpenEditor(Window parentWindow) {
    return plug->Dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parentWindow)), 0);
  }
  Control* ControlFor(int32_t paramIndex) const {
    for (int32_t i = 0; i < Editor().ControlCount(); ++i)
      if (Editor().ControlAt(i)->ParamIndex() == paramIndex) return Editor().ControlAt(i);
    return nullptr;
  }
};

class InstrumentWindow : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_TEST_X_SERVER();
    gHostCalls = &calls;
    MidiLearnTable::Shared().Reset();
    instances.reserve(4);  // references handed out stay valid
    user = std::make_unique<TestDisplay>();
    ASSERT_NE(user->Get(), nullptr);
  }
  void TearDown() override {
    for (Instance& instance : instances) instance.plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
    instances.clear();
    user.reset();
    MidiLearnTable::Shared().Reset();
    gHostCalls = nullptr;
  }

  Instance& Open(int x, int y) {
    Instance instance;
    instance.plug = std::make_unique<Thudrix>(&RecordingHost);
    instance.plug->Dispatch(vst2::effOpen, 0, 0, nullptr, 0);
    instance.plug->Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    instance.plug->Dispatch(vst2::effSetBlockSize, 0, 256, nullptr, 0);
    instance.parent = user->CreateParent(x, y, kWidth, kHeight);
    instance.x = x;
    instance.y = y;
    EXPECT_EQ(instance.OpenEditor(instance.parent), 1);
    instances.push_back(std::move(instance));
    return instances.back();
  }
  void Idle() {
    for (Instance& instance : instances) instance.plug->Dispatch(vst2::effEditIdle, 0, 0, nullptr, 0);
  }
  void Settle() {
    PumpFor([this] { Idle(); }, 200ms);
  }
  bool PumpUntil(const std::function<bool()>& done) {
    return x11_test::PumpUntil([this] { Idle(); }, done);
  }

  // The window's picture against the editor's off-screen drawing.
  int32_t DifferingPixels(const Instance& instance) {
    const std::vector<uint32_t> shown = user->Capture(instance.EditorWindow(), kWidth, kHeight);
    const RasterBitmap* drawn = instance.Editor().DrawBitmap();
    if (shown.size() != size_t(kWidth) * kHeight || !drawn) return -1;
    int32_t differing = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if ((drawn->PixelData()[y * drawn->RowSpan() + x] & 0xFFFFFF) != shown[size_t(y) * kWidth + x]) ++differing;
    return differing;
  }

  void Drag(const Instance& at, int fromX, int fromY, int toY) {
    user->MoveTo(at.x + fromX, at.y + fromY);
    user->Button(Button1, true);
    Idle();
    for (int y = fromY; y >= toY; y -= 10) {
      user->MoveTo(at.x + fromX, at.y + y);
      Idle();
    }
    user->Button(Button1, false);
  }

  std::vector<HostCall> calls;
  std::unique_ptr<TestDisplay> user;
  std::vector<Instance> instances;
};

TEST_F(InstrumentWindow, KnobDragIsOneHostGesture) {
  Instance& drum = Open(0, 0);
  Settle();
  const double before = drum.Param(kParamPitch);
  calls.clear();
  Drag(drum, kPitchKnobX, kPitchKnobY, kPitchKnobY - 40);
  ASSERT_TRUE(PumpUntil([&] { return !calls.empty() && calls.back().opcode == vst2::audioMasterEndEdit; }));
  EXPECT_NEAR(drum.Param(kParamPitch) - before, 40.0 / 50.0 / 4.0, 1e-6);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front().opcode, vst2::audioMasterBeginEdit);
  for (size_t i = 1; i + 1 < calls.size(); ++i) EXPECT_EQ(calls[i].opcode, vst2::audioMasterAutomate);
  for (const HostCall& call : calls) EXPECT_EQ(call.index, kParamPitch);
}

TEST_F(InstrumentWindow, ClickTogglesSwitchAndWheelStepsKnob) {
  Instance& drum = Open(0, 0);
  Settle();
  const double flag = drum.Param(kParamMidiTuneFlag);
  user->Click(kTuneSwitchX, kTuneSwitchY);
  ASSERT_TRUE(PumpUntil([&] { return drum.Param(kParamMidiTuneFlag) != flag; }));
  EXPECT_EQ(drum.Param(kParamMidiTuneFlag), 1.0 - flag);

  const double pitch = drum.Param(kParamPitch);
  user->MoveTo(kPitchKnobX, kPitchKnobY);
  user->Click(kPitchKnobX, kPitchKnobY, 4);
  user->Click(kPitchKnobX, kPitchKnobY, 4);
  user->Click(kPitchKnobX, kPitchKnobY, 5);
  ASSERT_TRUE(PumpUntil([&] { return std::abs(drum.Param(kParamPitch) - pitch - 0.01) < 1e-9; }));
}

TEST_F(InstrumentWindow, DoubleClickRestoresKnobDefault) {
  Instance& drum = Open(0, 0);
  Settle();
  Drag(drum, kPitchKnobX, kPitchKnobY, kPitchKnobY - 30);
  Control* knob = drum.ControlFor(kParamPitch);
  ASSERT_NE(knob, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return drum.Param(kParamPitch) != knob->DefaultValue(); }));
  user->Click(kPitchKnobX, kPitchKnobY);
  user->Click(kPitchKnobX, kPitchKnobY);
  EXPECT_TRUE(PumpUntil([&] { return drum.Param(kParamPitch) == knob->DefaultValue(); }));
}

TEST_F(InstrumentWindow, WindowShowsTheOffscreenDrawingAfterOpeningAndReopening) {
  Instance& drum = Open(0, 0);
  Settle();
  EXPECT_EQ(DifferingPixels(drum), 0);

  drum.plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
  EXPECT_FALSE(drum.Editor().HasWindow());
  XClearWindow(user->Get(), drum.parent);
  const std::vector<uint32_t> cleared = user->Capture(drum.parent, kWidth, kHeight);
  ASSERT_FALSE(cleared.empty());
  EXPECT_EQ(cleared[size_t(kHeight / 2) * kWidth + kWidth / 2], 0u);

  ASSERT_EQ(drum.OpenEditor(drum.parent), 1);
  Settle();
  EXPECT_EQ(DifferingPixels(drum), 0);
}

TEST_F(InstrumentWindow, ReopeningWhileOpenReplacesTheWindowInPlace) {
  Instance& drum = Open(0, 0);
  Settle();
  const Window first = drum.EditorWindow();
  ASSERT_EQ(drum.OpenEditor(drum.parent), 1);
  EXPECT_NE(drum.EditorWindow(), first);
  Settle();
  EXPECT_EQ(DifferingPixels(drum), 0);
}

TEST_F(InstrumentWindow, TwoEditorsAtOnceKeepTheirOwnInput) {
  Instance& left = Open(0, 0);
  Instance& right = Open(640, 0);
  Settle();
  const double leftPitch = left.Param(kParamPitch);
  const double rightPitch = right.Param(kParamPitch);
  Drag(right, kPitchKnobX, kPitchKnobY, kPitchKnobY - 20);
  ASSERT_TRUE(PumpUntil([&] { return right.Param(kParamPitch) != rightPitch; }));
  Settle();
  EXPECT_EQ(left.Param(kParamPitch), leftPitch);
  EXPECT_EQ(DifferingPixels(left), 0);
  EXPECT_EQ(DifferingPixels(right), 0);
}

TEST_F(InstrumentWindow, BadParentsAreRefusedAndALostParentIsSurvived) {
  Instance& drum = Open(0, 0);
  Settle();
  drum.plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);
  EXPECT_EQ(drum.OpenEditor(0), 0);
  EXPECT_EQ(drum.OpenEditor(Window(0x7fffff0)), 0);  // no such window
  EXPECT_FALSE(drum.Editor().HasWindow());

  ASSERT_EQ(drum.OpenEditor(drum.parent), 1);
  Settle();
  // The host destroys its window before closing the editor.
  XDestroyWindow(user->Get(), drum.parent);
  XSync(user->Get(), False);
  EXPECT_TRUE(PumpUntil([&] { return !drum.Editor().HasWindow(); }));
  drum.plug->Dispatch(vst2::effEditClose, 0, 0, nullptr, 0);

  drum.parent = user->CreateParent(0, 0, kWidth, kHeight);
  ASSERT_EQ(drum.OpenEditor(drum.parent), 1);
  Settle();
  EXPECT_EQ(DifferingPixels(drum), 0);
}

}  // namespace

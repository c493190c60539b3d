// The pad and the preset arrows are presses: they act on the edge into 1,
// read back 0, and an arrow's file is read off the audio thread and outside
// the instance lock.
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "presets/PresetBrowser.h"
#include "presets/PresetFiles.h"
#include "tests/instrument/ThudrixFixture.h"

namespace fs = std::filesystem;

namespace {

bool Same(const std::vector<double>& a, const std::vector<double>& b) { return a == b; }

}  // namespace

using ThudrixPress = ThudrixFixture;

TEST_F(ThudrixPress, PadHitsOnTheEdgeIntoAPressAndReadsBackZero) {
  auto reference = MakeOpened(44100.0, 256);
  SetNormalized(kParamTrigger, 1.0f);
  reference->SetParameterFromHost(kParamTrigger, 1.0f);
  EXPECT_EQ(plug->ParamAt(kParamTrigger)->Value(), 0.0);
  EXPECT_TRUE(log.automated.empty());  // not from inside the host's own call
  Render(1000);
  EXPECT_EQ(log.automated, (std::vector<std::pair<int32_t, float>>{{kParamTrigger, 0.0f}}));
  RenderWith(*reference, 1000);

  // Still the same press (a slider held past the middle): no second hit.
  SetNormalized(kParamTrigger, 0.9f);
  SetNormalized(kParamTrigger, 1.0f);
  EXPECT_TRUE(Same(Render(1000).first, RenderWith(*reference, 1000).first));

  // Let go, press again: a new hit.
  SetNormalized(kParamTrigger, 0.0f);
  SetNormalized(kParamTrigger, 1.0f);
  EXPECT_FALSE(Same(Render(1000).first, RenderWith(*reference, 1000).first));
}

TEST_F(ThudrixPress, EveryEditorClickIsAPress) {
  auto reference = MakeOpened(44100.0, 256);
  plug->ParamFromEditor(kParamTrigger, 1.0);
  EXPECT_EQ(plug->ParamAt(kParamTrigger)->Value(), 0.0);
  // The host saw the press, and sees the release on its next call.
  EXPECT_EQ(log.automated, (std::vector<std::pair<int32_t, float>>{{kParamTrigger, 1.0f}}));
  reference->ParamFromEditor(kParamTrigger, 1.0);
  log.automated.clear();
  Render(1000);
  EXPECT_EQ(log.automated, (std::vector<std::pair<int32_t, float>>{{kParamTrigger, 0.0f}}));
  RenderWith(*reference, 1000);
  plug->ParamFromEditor(kParamTrigger, 1.0);  // the contact never sends its release
  EXPECT_FALSE(Same(Render(1000).first, RenderWith(*reference, 1000).first));
}

TEST_F(ThudrixPress, SavedStateHoldingAPressRestoresWithoutActing) {
  plug->ParamAt(kParamTrigger)->SetValue(1.0);
  StateChunk chunk;
  ASSERT_TRUE(plug->WriteState(chunk));
  auto restored = MakeOpened(44100.0, 256);
  EXPECT_GT(restored->ReadState(chunk, 0), 0);
  EXPECT_EQ(restored->ParamAt(kParamTrigger)->Value(), 0.0);
  const auto out = RenderWith(*restored, 2048).first;
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0);
}

// A preset folder with a 50 MB file between two small ones.
class ThudrixArrows : public ThudrixFixture {
protected:
  void SetUp() override {
    savedRoot = PresetRootFolder();
    char name[] = "/tmp/thudra-arrows-XXXXXX";
    root = mkdtemp(name);
    const fs::path factory = root / "Factory Presets";
    fs::create_directories(factory);
    WritePreset(factory / "01 First.tvpreset", 0.1);
    {
      std::ofstream huge(factory / "02 Huge.tvpreset", std::ios::binary);
      huge << "Pitch=0.900000\nAccent=0.900000\n";
      const std::string chunk(1 << 20, 'x');  // one endless line
      for (int i = 0; i < 50; ++i) huge << chunk;
    }
    WritePreset(factory / "03 Third.tvpreset", 0.3);
    SetPresetRootFolder(root.string() + "/");
    ThudrixFixture::SetUp();
  }
  void TearDown() override {
    ThudrixFixture::TearDown();
    SetPresetRootFolder(savedRoot);
    fs::remove_all(root);
  }
  static void WritePreset(const fs::path& path, double accent) {
    std::ofstream out(path);
    out << "Pitch=0.500000\nAccent=" << std::to_string(accent) << "\n";
  }
  double Accent() { return plug->ParamAt(kParamAccent)->Value(); }
  std::string Shown() { return plug->PresetMenu() ? plug->PresetMenu()->DisplayedName() : ""; }
  void Idle() { plug->Dispatch(vst2::effEditIdle, 0, 0, nullptr, 0.0f); }

  std::string savedRoot;
  fs::path root;
};

TEST_F(ThudrixArrows, APressOnTheAudioThreadIsCarriedOutOnTheUiThread) {
  ASSERT_NE(plug->PresetMenu(), nullptr);
  EXPECT_EQ(Shown(), "01 First");
  EXPECT_DOUBLE_EQ(Accent(), float(0.1));

  Render(64);  // this thread now renders audio: it never reads a preset file
  SetNormalized(kParamPresetNext, 1.0f);
  Render(64);
  EXPECT_EQ(Shown(), "01 First");
  EXPECT_EQ(plug->ParamAt(kParamPresetNext)->Value(), 0.0);

  Idle();  // the host's UI thread: the step to the 50 MB file, refused
  EXPECT_EQ(Shown(), "02 Huge");
  EXPECT_DOUBLE_EQ(Accent(), float(0.1));

  // From a thread that is not rendering, the step happens in the call.
  std::thread automation([&] {
    plug->SetParameterFromHost(kParamPresetNext, 0.0f);
    plug->SetParameterFromHost(kParamPresetNext, 1.0f);
  });
  automation.join();
  EXPECT_EQ(Shown(), "03 Third");
  EXPECT_DOUBLE_EQ(Accent(), float(0.3));

  // Presses that pile up on the audio thread are all carried out.
  for (int i = 0; i < 2; ++i) {
    SetNormalized(kParamPresetPrevious, 0.0f);
    SetNormalized(kParamPresetPrevious, 1.0f);
  }
  Idle();
  EXPECT_EQ(Shown(), "01 First");
  EXPECT_DOUBLE_EQ(Accent(), float(0.1));
}

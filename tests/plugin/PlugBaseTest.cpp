#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/PlugBase.h"

namespace {

class TestPlug : public PlugBase {
public:
  explicit TestPlug(const char* spec = "0-1 0-2", int32_t presets = 0) : PlugBase(Config(spec, presets)) {
    for (int32_t i = 0; i < ParamCount(); ++i) ParamAt(i)->DefineDouble("p", 0.0, 0.0, 10.0, 0.1);
  }
  static PlugConfig Config(const char* spec, int32_t presets) {
    PlugConfig c;
    c.paramCount = 3;
    c.channelSpec = spec;
    c.presetCount = presets;
    c.effectName = "Test";
    return c;
  }
  void ParamChanged(int32_t i) override { changed.push_back(i); }
  void HostEditBegin(int32_t) override {}
  void HostAutomate(int32_t i, double x) override { automated.push_back({i, x}); }
  void HostEditEnd(int32_t) override {}
  void HostProgramChanged() override {}
  int32_t HostSamplePosition() override { return 0; }
  double HostTempo() override { return 0; }
  void HostTimeSignature(int32_t&, int32_t&) override {}
  void HostTimeInfo(TimeInfo&) override {}
  void ResizeEditor(int32_t, int32_t) override {}
  bool SendMidiToHost(const MidiMsg&) override { return false; }

  std::vector<int32_t> changed;
  std::vector<std::pair<int32_t, double>> automated;
};

}  // namespace

TEST(PlugBase, ChannelSpecGivesRecordsAndLegalLayouts) {
  TestPlug plug("0-1 0-2");
  EXPECT_EQ(plug.InputCount(), 0);
  EXPECT_EQ(plug.OutputCount(), 2);
  EXPECT_EQ(plug.ChannelIOCount(), 2);
  EXPECT_FALSE(plug.LegalIO(1, -1));
  EXPECT_TRUE(plug.LegalIO(0, 2));
  EXPECT_TRUE(plug.LegalIO(-1, 1));
  EXPECT_EQ(plug.InputPointers(), nullptr);

  TestPlug odd("2-2 x 1");  // unparseable tokens count as 0-0
  EXPECT_EQ(plug.ChannelIOAt(0)->outputs, 1);
  EXPECT_EQ(odd.InputCount(), 2);
  EXPECT_EQ(odd.ChannelIOCount(), 3);
  EXPECT_TRUE(odd.LegalIO(0, 0));
}

TEST(PlugBase, BlockSizeClearsScratchOnlyWhenItChanges) {
  TestPlug plug;
  plug.SetMaxBlockSize(64);
  plug.ConnectOutput(0, true);
  double* scratch = plug.Output(0)->scratch.As<double>();
  scratch[5] = 1.5;
  plug.SetMaxBlockSize(64);
  EXPECT_EQ(plug.Output(0)->scratch.As<double>()[5], 1.5);
  plug.SetMaxBlockSize(128);
  EXPECT_EQ(plug.Output(0)->scratch.As<double>()[5], 0.0);
  EXPECT_EQ(plug.BlockSize(), 128);
  plug.SetMaxBlockSize(0);
  plug.SetMaxBlockSize(-5);
  EXPECT_EQ(plug.BlockSize(), 128);
  plug.SetMaxBlockSize(INT32_MAX);  // capped, never an overflowing scratch
  EXPECT_EQ(plug.BlockSize(), PlugBase::kMaxBlockSize);
}

TEST(PlugBase, SingleBuffersConvertReplaceAndAccumulate) {
  TestPlug plug;
  plug.SetMaxBlockSize(4);
  plug.ConnectOutput(0, true);
  plug.ConnectOutput(1, false);
  float left[4] = {1, 1, 1, 1};
  float* outs[] = {left};
  plug.AttachSingleBuffers(nullptr, outs, 0, 4);
  double** slots = plug.OutputPointers();
  for (int s = 0; s < 4; ++s) slots[0][s] = 0.25 * s;
  for (int s = 0; s < 4; ++s) slots[1][s] = 9;  // disconnected: its own scratch
  plug.ReturnSingleBuffers(4, true);
  EXPECT_FLOAT_EQ(left[3], 1.75f);
  plug.ReturnSingleBuffers(4, false);
  EXPECT_FLOAT_EQ(left[3], 0.75f);
}

// Every length, so the packed conversion and the leftovers both run; each
// float is what converting its double alone gives, also when it rounds.
TEST(PlugBase, SingleBuffersRoundEachSampleAsAloneAtAnyLength) {
  for (int32_t frames = 0; frames <= 11; ++frames) {
    SCOPED_TRACE(frames);
    TestPlug plug;
    plug.SetMaxBlockSize(16);
    plug.ConnectOutput(0, true);
    float out[16];
    for (float& x : out) x = 0.3f;
    float* outs[] = {out};
    plug.AttachSingleBuffers(nullptr, outs, 0, frames);
    double* scratch = plug.OutputPointers()[0];
    for (int32_t s = 0; s < frames; ++s) scratch[s] = 0.1 + s * 1e-9 - (s % 3 == 0 ? 3.0 : 0.0);
    plug.ReturnSingleBuffers(frames, true);
    for (int32_t s = 0; s < frames; ++s) EXPECT_EQ(out[s], 0.3f + float(scratch[s])) << s;
    plug.ReturnSingleBuffers(frames, false);
    for (int32_t s = 0; s < frames; ++s) EXPECT_EQ(out[s], float(scratch[s])) << s;
    for (int32_t s = frames; s < 16; ++s) EXPECT_EQ(out[s], 0.3f) << "past the block";
  }
}

TEST(PlugBase, ParamsRoundTripThroughChunks) {
  TestPlug plug;
  plug.ParamAt(0)->SetValue(1.5);
  plug.ParamAt(1)->SetValue(2.5);
  plug.ParamAt(2)->SetValue(3.5);
  StateChunk chunk;
  ASSERT_TRUE(plug.SerializeParams(chunk));
  EXPECT_EQ(chunk.Size(), 24);

  TestPlug other;
  EXPECT_EQ(other.UnserializeParams(chunk, 0), 24);
  EXPECT_EQ(other.ParamAt(2)->Value(), 3.5);
  EXPECT_EQ(other.changed, (std::vector<int32_t>{0, 1, 2}));
}

TEST(PlugBase, ShortChunkKeepsParametersWithoutData) {
  TestPlug plug;
  for (int i = 0; i < 3; ++i) plug.ParamAt(i)->SetValue(7);
  StateChunk chunk;
  chunk.AppendDouble(20.0);  // clamped to 10
  chunk.AppendBytes("abc", 3);
  EXPECT_EQ(plug.UnserializeParams(chunk, 0), -1);
  EXPECT_EQ(plug.ParamAt(0)->Value(), 10.0);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 7.0);
  EXPECT_EQ(plug.ParamAt(2)->Value(), 7.0);
  EXPECT_EQ(plug.changed.size(), 3u);
  EXPECT_EQ(plug.UnserializeParams(chunk, 1000), -1);
}

TEST(PlugBase, ChunkHeaderVersion) {
  StateChunk chunk;
  chunk.WriteHeader();
  const uint8_t expected[] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  ASSERT_EQ(chunk.Size(), 8);
  EXPECT_EQ(0, std::memcmp(chunk.Data(), expected, 8));
  int32_t pos = 0;
  EXPECT_EQ(chunk.ChunkVersion(pos), StateChunk::kVersion);
  EXPECT_EQ(pos, 8);

  StateChunk cut;
  cut.AppendInt32(StateChunk::kMagic);
  pos = 0;
  EXPECT_EQ(cut.ChunkVersion(pos), 0);
  EXPECT_EQ(pos, -1);

  StateChunk bare;
  bare.AppendDouble(1.0);
  pos = 0;
  EXPECT_EQ(bare.ChunkVersion(pos), 0);
  EXPECT_EQ(pos, 0);
}

TEST(PlugBase, PresetSlotsNameAndRestore) {
  TestPlug plug("0-2", 3);
  plug.FillEmptyPresets(1);
  EXPECT_STREQ(plug.PresetSlotName(0), "Empty");
  EXPECT_STREQ(plug.PresetSlotName(7), "");
  plug.ParamAt(0)->SetValue(4.0);
  ASSERT_TRUE(plug.LoadPresetSlot(1));  // uninitialised: captures the current state
  EXPECT_STREQ(plug.PresetSlotName(1), "user preset 1");
  plug.ParamAt(0)->SetValue(9.0);
  ASSERT_TRUE(plug.LoadPresetSlot(1));
  EXPECT_EQ(plug.ParamAt(0)->Value(), 4.0);
  EXPECT_FALSE(plug.LoadPresetSlot(3));
  EXPECT_EQ(plug.CurrentPresetIndex(), 1);

  StateChunk bank;
  bank.WriteHeader();
  ASSERT_TRUE(plug.SerializePresets(bank));
}

TEST(PlugBase, BankChunkRoundTrip) {
  TestPlug plug("0-2", 2);
  plug.FillEmptyPresets(2);
  plug.ParamAt(2)->SetValue(6.0);
  plug.ModifyCurrentPreset("kick");
  StateChunk bank;
  bank.WriteHeader();
  ASSERT_TRUE(plug.SerializePresets(bank));

  TestPlug copy("0-2", 2);
  int32_t pos = 0;
  ASSERT_EQ(bank.ChunkVersion(pos), StateChunk::kVersion);
  EXPECT_EQ(copy.UnserializePresets(bank, pos), bank.Size());
  EXPECT_STREQ(copy.PresetSlotName(0), "kick");
  EXPECT_STREQ(copy.PresetSlotName(1), "Empty");
  EXPECT_EQ(copy.ParamAt(2)->Value(), 6.0);

  StateChunk cut;
  cut.AppendBytes(bank.Data(), 14);  // header, then a cut-off first record
  TestPlug victim("0-2", 2);
  pos = 8;
  EXPECT_EQ(victim.UnserializePresets(cut, pos), -1);
}

TEST(PlugBase, EditorPathStoresAutomatesThenAnnounces) {
  TestPlug plug;
  plug.ParamFromEditor(1, 0.5);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 5.0);
  ASSERT_EQ(plug.automated.size(), 1u);
  EXPECT_EQ(plug.automated[0].first, 1);
  EXPECT_EQ(plug.changed, (std::vector<int32_t>{1}));
  plug.ParamFromEditor(17, 0.5);  // unknown index: nothing happens
  EXPECT_EQ(plug.changed.size(), 1u);
}

namespace {

// An editor the framework knows only through EditorLink: it logs each call.
class LoggingLink : public EditorLink {
public:
  LoggingLink(std::vector<std::string>& log, const char* name) : log_(log), name_(name) {}
  ~LoggingLink() override { log_.push_back(name_ + " deleted"); }
  void ParamToControls(int32_t index, double value, bool isNormalized) override {
    log_.push_back(name_ + " param " + std::to_string(index) + (isNormalized ? " n" : " v") + std::to_string(value));
  }
  void PrepareDrawing() override { log_.push_back(name_ + " prepare"); }
  void* OpenEditorWindow(void*) override { return nullptr; }
  void CloseEditorWindow() override {}
  void Idle() override {}
  int32_t Width() const override { return 0; }
  int32_t Height() const override { return 0; }
  Editor* FullEditor() override { return nullptr; }

private:
  std::vector<std::string>& log_;
  std::string name_;
};

}  // namespace

TEST(PlugBase, DrivesAnyEditorLinkItOwns) {
  std::vector<std::string> log;
  {
    TestPlug plug;
    plug.ParamAt(1)->SetValue(5.0);
    plug.SetEditor(new LoggingLink(log, "a"));
    EXPECT_EQ(log, (std::vector<std::string>{"a param 0 n0.000000", "a param 1 n0.500000", "a param 2 n0.000000",
                                             "a prepare"}));
    EXPECT_EQ(plug.GetEditor(), nullptr);  // no full editor behind this link
    ASSERT_NE(plug.GetEditorLink(), nullptr);

    log.clear();
    plug.RefreshParamControls();
    EXPECT_EQ(log, (std::vector<std::string>{"a param 0 v0.000000", "a param 1 v5.000000", "a param 2 v0.000000"}));

    log.clear();
    plug.SetEditor(new LoggingLink(log, "b"));
    EXPECT_EQ(log.back(), "a deleted");  // the old editor goes once the new one is ready
    log.clear();
  }
  EXPECT_EQ(log, (std::vector<std::string>{"b deleted"}));
}

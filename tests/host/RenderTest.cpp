#include <sndfile.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/host/HostTestSupport.h"
#include "tools/host/HostSession.h"
#include "tools/host/HostedPlugin.h"
#include "tools/host/ModuleLoader.h"
#include "tools/host/Renderer.h"

using namespace hosttest;
using namespace thudra::host;

namespace {

struct WavContents {
  int channels = 0;
  int sampleRate = 0;
  int format = 0;
  int64_t frames = 0;
  std::vector<float> samples;

  float at(int64_t frame, int channel) const { return samples[frame * channels + channel]; }

  // Frames where the channel is not silent.
  std::vector<int64_t> soundingFrames(int channel) const {
    std::vector<int64_t> found;
    for (int64_t i = 0; i < frames; ++i)
      if (at(i, channel) != 0.0f) found.push_back(i);
    return found;
  }
};

WavContents readWav(const std::string& path) {
  WavContents wav;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    ADD_FAILURE() << "cannot read " << path;
    return wav;
  }
  wav.channels = info.channels;
  wav.sampleRate = info.samplerate;
  wav.format = info.format;
  wav.frames = info.frames;
  wav.samples.resize(info.frames * info.channels);
  sf_readf_float(file, wav.samples.data(), info.frames);
  sf_close(file);
  return wav;
}

class RenderCommand : public ::testing::Test {
protected:
  CommandOutcome render(std::vector<std::string> extra) {
    std::vector<std::string> args{"render", CLICK_SYNTH_PATH, "--out", out};
    args.insert(args.end(), extra.begin(), extra.end());
    return runHostCommand(args);
  }

  ClickSynthProbe probe;
  ScratchFolder folder;
  std::string out = folder.file("out.wav");
};

TEST_F(RenderCommand, NotesLandOnTheirExactFrameWhateverTheBlockSize) {
  for (const char* block : {"256", "7", "1", "65536"}) {
    SCOPED_TRACE(block);
    const auto outcome =
        render({"--block", block, "--note", "1.0,60,127", "--note", "0,61,127", "--note", "0.00015,62,127"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const WavContents wav = readWav(out);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.sampleRate, 48000);
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(wav.frames, 3 * 48000) << "last note plus the default 2 s tail";
    EXPECT_EQ(wav.soundingFrames(0), (std::vector<int64_t>{0, 7, 48000}));
    EXPECT_EQ(wav.at(48000, 0), 1.0f);
    EXPECT_EQ(wav.at(48000, 1), 0.5f);

    const ClickSynthLog& log = probe.log();
    EXPECT_EQ(log.eventsOutsideBlock, 0);
    EXPECT_EQ(log.noteOnCount, 3);
    EXPECT_EQ(log.blockSize, std::stoi(block));
    EXPECT_EQ(log.floatProcessCalls, (3 * 48000 + std::stoi(block) - 1) / std::stoi(block));
    EXPECT_EQ(log.doubleProcessCalls, 0);
  }
}

TEST_F(RenderCommand, DoublePrecisionLengthTailAndRateAreHonoured) {
  auto outcome =
      render({"--double", "--rate", "44100", "--length", "0.5", "--note", "0.25,60,127", "--note", "0.75,60,127"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  WavContents wav = readWav(out);
  EXPECT_EQ(wav.sampleRate, 44100);
  EXPECT_EQ(wav.frames, 22050);
  EXPECT_EQ(wav.soundingFrames(0), std::vector<int64_t>{11025});
  EXPECT_EQ(probe.log().noteOnCount, 1) << "notes past the end are not sent";
  EXPECT_GT(probe.log().doubleProcessCalls, 0);
  EXPECT_EQ(probe.log().floatProcessCalls, 0);
  EXPECT_EQ(probe.log().sampleRate, 44100.0f);

  outcome = render({"--tail", "0.25", "--note", "0.5,60,127,0.1"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(readWav(out).frames, static_cast<int64_t>((0.6 + 0.25) * 48000 + 0.5));
  EXPECT_EQ(probe.log().noteOffCount, 1);

  outcome = render({});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(readWav(out).frames, 2 * 48000) << "no events: the tail alone";
}

TEST_F(RenderCommand, HostIdentityAndTransportReachThePlugin) {
  ASSERT_EQ(render({"--note", "0.1,60,100"}).exitCode, 0);
  const ClickSynthLog& log = probe.log();
  EXPECT_EQ(log.hostVersionDuringCreation, 2400);
  EXPECT_EQ(log.openCalls, 1);
  EXPECT_EQ(log.mainsOnCalls, 1);
  EXPECT_EQ(log.mainsOffCalls, 1);
  EXPECT_EQ(log.closeCalls, 1);
  EXPECT_EQ(log.processLevel, 4) << "offline";
  EXPECT_STREQ(log.hostProduct, "thudra-host");
  EXPECT_EQ(log.hostCanDoEvents, 1);
  EXPECT_EQ(log.hostCanDoUnknown, 0);
  EXPECT_EQ(log.firstTempo, 120.0);
  EXPECT_TRUE(log.firstTimeFlags & vst2::kVstTransportPlaying);
  // 100800 frames in blocks of 256: the last block starts at 393 * 256.
  EXPECT_EQ(log.lastSamplePos, 100608.0);
}

TEST_F(RenderCommand, ReportsPeakAndRmsPerChannel) {
  const auto outcome = render({"--length", "1", "--note", "0,60,127"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("2 channels, 48000 frames at 48000 Hz (1.000 s)"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("channel 1: peak 1.000000 (0.00 dBFS)"), std::string::npos);
  EXPECT_NE(outcome.out.find("channel 2: peak 0.500000 (-6.02 dBFS)"), std::string::npos);
  // One full-scale sample in 48000: RMS = 1 / sqrt(48000).
  EXPECT_NE(outcome.out.find("RMS 0.004564 (-46.81 dBFS)"), std::string::npos) << outcome.out;
}

TEST_F(RenderCommand, PresetAndParamsSetParametersByNameOrIndex) {
  const std::string preset =
      folder.write("sound.tvpreset", "Level=0.500000\r\nLevl=0.9\n=0.000000\nDecay=abc\nMode=1.5\n");
  auto outcome = render({"--length", "0.1", "--note", "0,60,127", "--preset", preset});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(readWav(out).at(0, 0), 0.5f);
  EXPECT_EQ(probe.log().setParameterCalls, 2) << "Level and Mode; the rest skipped";
  EXPECT_NE(outcome.err.find("no parameter named 'Levl'"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("line 4: value is not a number"), std::string::npos);

  // --param wins over the preset; names first, then indexes.
  outcome = render({"--length", "0.1", "--note", "0,60,127", "--preset", preset, "--param", "Level=0.25"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(readWav(out).at(0, 0), 0.25f);
  outcome = render({"--length", "0.1", "--note", "0,60,127", "--param=0=0.75"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(readWav(out).at(0, 0), 0.75f);

  outcome = render({"--param", "Volume=0.5"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("no parameter named or numbered 'Volume'"), std::string::npos);
  EXPECT_EQ(render({"--param", "3=0.5"}).exitCode, 1);
  EXPECT_EQ(render({"--param", "Level=1.5"}).exitCode, 2);
}

// A note about 1.4 million seconds in: the largest delta time at 96 ticks per quarter.
const std::string kFarAwayNoteFile =
    std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x07\x8f\xff\xff\x7f\x90\x3c\x64", 29);

TEST_F(RenderCommand, BadInputsFailCleanlyWithoutLeavingAResult) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  };
  const std::vector<Case> cases{
      {{"--note", "1.0,60"}, 2, "expected TIME,NOTE,VELOCITY"},
      {{"--note", "x,60,100"}, 2, "time must be"},
      {{"--note", "-1,60,100"}, 2, "time must be"},
      {{"--note", "nan,60,100"}, 2, "time must be"},
      {{"--note", "1,128,100"}, 2, "note must be"},
      {{"--note", "1,60,100,-2"}, 2, "duration must be"},
      {{"--rate", "48000.5"}, 2, "--rate"},
      {{"--block", "0"}, 2, "--block"},
      {{"--length", "0"}, 2, "--length"},
      {{"--tail", "-1"}, 2, "--tail"},
      {{"--frobnicate", "1"}, 2, "unknown option"},
      {{"--block"}, 2, "needs a value"},
      {{"--double=yes"}, 2, "takes no value"},
      {{"extra.so"}, 2, "unexpected argument"},
      {{"--midi", folder.file("missing.mid")}, 1, "cannot read MIDI file"},
      {{"--midi", folder.write("bad.mid", "MThd")}, 1, "truncated MIDI file header"},
      {{"--preset", folder.file("missing.tvpreset")}, 1, "cannot read preset file"},
      {{"--note", "3599,60,100"}, 1, "exceeds the limit"},
      {{"--midi", folder.write("far.mid", kFarAwayNoteFile)}, 1, "exceeds the limit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const auto outcome = render(c.args);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
    EXPECT_EQ(lineCount(outcome.err), 1u) << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }

  EXPECT_EQ(runHostCommand({"render", CLICK_SYNTH_PATH}).exitCode, 2) << "no --out";
  const auto unwritable = runHostCommand({"render", CLICK_SYNTH_PATH, "--out", folder.file("no/such/folder/out.wav")});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_NE(unwritable.err.find("cannot create"), std::string::npos);
}

TEST_F(RenderCommand, MidiFileNotesAreMergedWithCommandLineNotes) {
  // One track, 480 ticks per quarter at the default 120 bpm: tick 480 is 0.5 s.
  const std::string track =
      std::string("\x00\x90\x3c\x64", 4) + std::string("\x83\x60\x3e\x64", 4) + std::string("\x00\xff\x2f\x00", 4);
  const std::string smf = std::string("MThd\0\0\0\6\0\0\0\1\x01\xe0", 14) + "MTrk" + std::string("\0\0\0", 3) +
                          static_cast<char>(track.size()) + track;
  const auto outcome = render({"--midi", folder.write("song.mid", smf), "--note", "0.25,50,127"});
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  const WavContents wav = readWav(out);
  EXPECT_EQ(wav.soundingFrames(0), (std::vector<int64_t>{0, 12000, 24000}));
  EXPECT_EQ(wav.frames, static_cast<int64_t>(2.5 * 48000));
}

// The library pieces together, as a GUI mode would use them.
TEST(Renderer, PluginAutomationAndMidiOutAreRecordedInTheSession) {
  ClickSynthProbe probe;
  HostSession session(48000.0, 64, vst2::kVstProcessLevelOffline);
  ModuleLoadResult loaded = loadModule(CLICK_SYNTH_PATH);
  ASSERT_TRUE(loaded.module) << loaded.error;
  PluginCreateResult created = HostedPlugin::create(loaded.module, session);
  ASSERT_TRUE(created.plugin) << created.error;
  HostedPlugin& plugin = *created.plugin;
  plugin.open();
  plugin.configure(48000.0, 64);
  plugin.setProcessing(true);

  const std::vector<ScheduledMidiMessage> messages{{100, {0xb0, 1, 127}}, {130, {0x90, 60, 127}}};
  std::vector<float> firstChannel;
  const RenderResult result = renderPlugin(
      plugin, session, {256, false}, messages, [&](std::span<const std::vector<double>> channels, int32_t frames) {
        firstChannel.insert(firstChannel.end(), channels[0].begin(), channels[0].begin() + frames);
        return true;
      });
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(firstChannel.size(), 256u);
  EXPECT_EQ(firstChannel[130], 1.0f);
  EXPECT_EQ(result.channels[0].peak, 1.0);
  EXPECT_EQ(result.channels[1].peak, 0.5);

  const auto edits = session.paramEdits();
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[1].kind, ParamEditKind::Automate);
  EXPECT_EQ(edits[1].index, 0);
  EXPECT_EQ(edits[1].value, 1.0f);
  EXPECT_EQ(session.midiEventsFromPlugin(), 1);
  EXPECT_TRUE(session.pluginWantsMidi());
  EXPECT_EQ(plugin.getParameter(0), 1.0f);
  EXPECT_EQ(plugin.getParameter(-1), 0.0f);
  EXPECT_EQ(plugin.paramName(3), "");
}

// Renders are compared as files (the Linux and Windows modules, VST2 and
// LV2): the same render must give the same bytes, also a second later.
TEST_F(RenderCommand, TheSameRenderGivesTheSameFileASecondLater) {
  auto fileBytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::vector<std::string> args = {"--length", "0.1", "--note", "0.01,60,127"};
  ASSERT_EQ(render(args).exitCode, 0);
  const std::string first = fileBytes(out);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  ASSERT_EQ(render(args).exitCode, 0);
  EXPECT_FALSE(first.empty());
  EXPECT_TRUE(first == fileBytes(out));
}

}  // namespace

// thudra-host's `info` and `render` given the LV2 bundle or its URI, as a
// user runs them.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/lv2/Lv2TestSupport.h"
#include "tools/host/HostCommands.h"

using namespace lv2_test;
using thudra::host::runHost;

namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome RunHost(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runHost(args, out, err);
  return {code, out.str(), err.str()};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ScratchFile(const std::string& name) {
  return "/tmp/thudra-lv2-cmd-" + std::to_string(getpid()) + "-" + name;
}

}  // namespace

TEST(Lv2HostCommand, InfoListsPortsAndPresets) {
  const Outcome info = RunHost({"info", kBundle});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_NE(info.out.find("plug-in:     urn:tarvolin:thudra\n"), std::string::npos);
  EXPECT_NE(info.out.find("ports:       19\n"), std::string::npos);
  EXPECT_NE(info.out.find("presets:     18\n"), std::string::npos);
  EXPECT_NE(info.out.find("pitch  \"Pitch\"  -12.0000..12.0000  default 0.0000  integer"), std::string::npos);
  EXPECT_NE(info.out.find("\"18 Tuned Toms\"  urn:tarvolin:thudra:preset:18-tuned-toms"), std::string::npos);

  // By its URI, from a folder of LV2_PATH.
  const std::string folder = ScratchFile("path");
  std::filesystem::create_directories(folder);
  std::filesystem::create_directory_symlink(kBundle, folder + "/Thudra.lv2");
  const std::string saved = getenv("LV2_PATH");
  setenv("LV2_PATH", folder.c_str(), 1);
  const Outcome byUri = RunHost({"info", "urn:tarvolin:thudra"});
  setenv("LV2_PATH", saved.c_str(), 1);
  std::filesystem::remove_all(folder);
  ASSERT_EQ(byUri.code, 0) << byUri.err;
  EXPECT_EQ(byUri.out.substr(byUri.out.find("ports:")), info.out.substr(info.out.find("ports:")));
}

TEST(Lv2HostCommand, SameMidiRendersTheSameFileThroughBothFormats) {
  for (const char* block : {"64", "333"}) {
    const std::vector<std::string> common = {"--note",   "0.01,36,127", "--note",  "0.2003,45,70,0.1",
                                             "--rate",   "44100",       "--block", block,
                                             "--length", "0.6",         "--param", "Distort=0.9"};
    std::vector<std::string> lv2 = {"render", kBundle, "--out", ScratchFile("lv2.wav")};
    std::vector<std::string> vst2 = {"render", kVst2Module, "--out", ScratchFile("vst2.wav")};
    lv2.insert(lv2.end(), common.begin(), common.end());
    vst2.insert(vst2.end(), common.begin(), common.end());
    const Outcome a = RunHost(lv2), b = RunHost(vst2);
    ASSERT_EQ(a.code, 0) << a.err;
    ASSERT_EQ(b.code, 0) << b.err;
    const std::string lv2Wav = ReadFile(ScratchFile("lv2.wav")), vst2Wav = ReadFile(ScratchFile("vst2.wav"));
    EXPECT_GT(lv2Wav.size(), 26000u * 2 * 4);
    EXPECT_TRUE(lv2Wav == vst2Wav) << "block " << block;
    EXPECT_EQ(a.out.substr(a.out.find("channel 1")), b.out.substr(b.out.find("channel 1")));
    std::remove(ScratchFile("lv2.wav").c_str());
    std::remove(ScratchFile("vst2.wav").c_str());
  }
}

TEST(Lv2HostCommand, PresetByLabelAndByFileAgree) {
  const std::string byLabel = ScratchFile("label.wav"), byFile = ScratchFile("file.wav");
  const Outcome a = RunHost(
      {"render", kBundle, "--out", byLabel, "--note", "0,36,127", "--length", "0.3", "--preset", "09 Soft Round"});
  const Outcome b = RunHost({"render", kBundle, "--out", byFile, "--note", "0,36,127", "--length", "0.3", "--preset",
                             kFactoryPresets + "/09 Soft Round.tvpreset"});
  ASSERT_EQ(a.code, 0) << a.err;
  ASSERT_EQ(b.code, 0) << b.err;
  EXPECT_TRUE(ReadFile(byLabel) == ReadFile(byFile));
  std::remove(byLabel.c_str());
  std::remove(byFile.c_str());
}

TEST(Lv2HostCommand, FailuresAreOneClearLine) {
  const std::string out = ScratchFile("never.wav");
  const Outcome unknown = RunHost({"info", "urn:tarvolin:no-such-plugin"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_NE(unknown.err.find("no LV2 plug-in urn:tarvolin:no-such-plugin"), std::string::npos) << unknown.err;
  const Outcome preset = RunHost({"render", kBundle, "--out", out, "--length", "0.1", "--preset", "No Such Sound"});
  EXPECT_EQ(preset.code, 1);
  EXPECT_NE(preset.err.find("no preset 'No Such Sound'"), std::string::npos) << preset.err;
  const Outcome port = RunHost({"render", kBundle, "--out", out, "--length", "0.1", "--param", "Volume=0.5"});
  EXPECT_EQ(port.code, 1);
  EXPECT_NE(port.err.find("no control input port 'Volume'"), std::string::npos) << port.err;
  const Outcome precision = RunHost({"render", kBundle, "--out", out, "--length", "0.1", "--double"});
  EXPECT_EQ(precision.code, 2);
  for (const Outcome* o : {&unknown, &preset, &port, &precision})
    EXPECT_EQ(std::count(o->err.begin(), o->err.end(), '\n'), 1) << o->err;
  EXPECT_FALSE(std::ifstream(out).good());
}

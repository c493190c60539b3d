// The module as a user gets it: factory sounds in the documents folder, the
// first one loaded at creation, the next-preset arrow stepping to the next.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vst2/VstAbi.h"

namespace fs = std::filesystem;

namespace {

intptr_t QuietHost(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

// The normalized values of a preset file's first lines.
std::vector<double> Values(const fs::path& file) {
  std::vector<double> values;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) values.push_back(std::stod(line.substr(line.find('=') + 1)));
  return values;
}

}  // namespace

TEST(Startup, FirstFactorySoundLoadsAndTheArrowSteps) {
  const fs::path source = fs::path(THUDRA_SOURCE_DIR) / "resources/presets/Factory Presets";
  std::vector<fs::path> presets;
  if (fs::is_directory(source))
    for (const auto& entry : fs::directory_iterator(source))
      if (entry.path().extension() == ".tvpreset") presets.push_back(entry.path());
  ASSERT_GE(presets.size(), 2u) << "the factory sounds are missing";
  std::sort(presets.begin(), presets.end(), [](const fs::path& a, const fs::path& b) {
    return strcasecmp(a.filename().c_str(), b.filename().c_str()) < 0;
  });

  char scratchName[] = "/tmp/thudra-home-XXXXXX";
  const fs::path home = mkdtemp(scratchName);
  const fs::path factory = home / "Documents/Tarvolin Instruments/Tarvolin Thudra Presets/Factory Presets";
  fs::create_directories(factory);
  for (const auto& preset : presets) fs::copy_file(preset, factory / preset.filename());
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);

  void* module = dlopen(THUDRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto entry = reinterpret_cast<vst2::VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
  vst2::VstEffect* effect = entry(&QuietHost);
  ASSERT_NE(effect, nullptr);

  const auto first = Values(presets[0]);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(effect->getParameter(effect, i), first[size_t(i)], 1e-4) << i;
  effect->setParameter(effect, 16, 1.0f);
  const auto second = Values(presets[1]);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(effect->getParameter(effect, i), second[size_t(i)], 1e-4) << i;

  effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0);
  dlclose(module);
  fs::remove_all(home);
}

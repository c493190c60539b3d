#pragma once
// Where the built products are, and an empty HOME for every test program:
// no user preset or LV2 folder changes what runs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace lv2_test {

inline const std::string kBundle = THUDRA_LV2_BUNDLE;
inline const std::string kVst2Module = THUDRA_VST2_MODULE;
inline const std::string kFactoryPresets = THUDRA_FACTORY_PRESETS;

class ScratchHome : public ::testing::Environment {
public:
  void SetUp() override {
    char home[] = "/tmp/thudra-lv2-home-XXXXXX";
    if (!mkdtemp(home)) return;
    setenv("HOME", home, 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DOCUMENTS_DIR");
    // Only our bundle is found by URI.
    setenv("LV2_PATH", (std::string(home) + "/no-plugins").c_str(), 1);
  }
};

inline ::testing::Environment* const kScratchHome = ::testing::AddGlobalTestEnvironment(new ScratchHome);

}  // namespace lv2_test

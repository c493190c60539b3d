#pragma once
// The instrument made and started as a host does, for the tests, benchmarks
// and fuzz targets that drive it in-process.

#include <stdlib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "instrument/Thudrix.h"
#include "presets/PresetFiles.h"
#include "vst2/VstAbi.h"

// A host that answers only the version question.
inline intptr_t QuietHost(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

// Presets come from an empty scratch folder, set once per process, so that
// no user file changes what runs and every instance starts alike.
inline void UseEmptyPresetRoot() {
  static const bool rooted = [] {
    char root[] = "/tmp/thudra-scratch-root-XXXXXX";
    if (mkdtemp(root)) SetPresetRootFolder(std::string(root) + "/");
    return true;
  }();
  (void)rooted;
}

// Opened, given a rate and a block size, and switched on.
inline std::unique_ptr<Thudrix> MakeStartedThudrix(vst2::VstHostCallback host, float rate, int32_t block) {
  auto plug = std::make_unique<Thudrix>(host);
  vst2::VstEffect* e = plug->Effect();
  e->dispatcher(e, vst2::effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, vst2::effSetSampleRate, 0, 0, nullptr, rate);
  e->dispatcher(e, vst2::effSetBlockSize, 0, block, nullptr, 0.0f);
  e->dispatcher(e, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
  return plug;
}

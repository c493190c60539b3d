// The module's only exported symbols: VSTPluginMain and its older alias main.
#include <mutex>

#include "platform/Lock.h"
#include "vst2/PluginFactory.h"

namespace {

// Serialises construction across instances created on different threads.
PlainLock& CreationLock() {
  static PlainLock lock;
  return lock;
}

vst2::VstEffect* CreateInstance(vst2::VstHostCallback host) {
  LockHold hold(CreationLock());
  PlugVst2* instance = CreateVst2Plugin(host);
  if (!instance) return nullptr;
  instance->FillEmptyPresets(instance->PresetCount());
  vst2::VstEffect* effect = instance->Effect();
  if (effect->numPrograms <= 0) effect->numPrograms = 1;
  return effect;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) vst2::VstEffect* VSTPluginMain(vst2::VstHostCallback host) {
  return CreateInstance(host);
}

// Old hosts look for "main"; C++ reserves that name, so bind it by symbol.
extern "C" __attribute__((visibility("default"))) vst2::VstEffect* VstMainAlias(vst2::VstHostCallback host) __asm__(
    "main");
extern "C" vst2::VstEffect* VstMainAlias(vst2::VstHostCallback host) { return CreateInstance(host); }

// A module that exports only the old entry point name `main`, with a mode
// the tests choose to make it misbehave in the ways a host must survive.
#include "vst2/VstAbi.h"

using namespace vst2;

#define LEGACY_EXPORT extern "C" __attribute__((visibility("default")))

enum LegacyMode { kReturnNull, kReturnWrongMagic, kReturnValid, kReturnHugeChannelCount };

namespace {

int mode = kReturnValid;
VstEffect record;

intptr_t dispatcher(VstEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float) {
  if (opcode == effGetEffectName && ptr) {
    const char name[] = "Legacy Entry";
    for (unsigned i = 0; i < sizeof name; ++i) static_cast<char*>(ptr)[i] = name[i];
    return 1;
  }
  return 0;
}

void processConstant(VstEffect*, float**, float** outputs, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) outputs[0][i] = 0.25f;
}

}  // namespace

LEGACY_EXPORT void LegacyEntrySetMode(int newMode) { mode = newMode; }

// C++ reserves the name main for the program; the symbol gets it by label.
LEGACY_EXPORT VstEffect* legacyEntry(VstHostCallback host) __asm__("main");

VstEffect* legacyEntry(VstHostCallback) {
  if (mode == kReturnNull) return nullptr;
  record = VstEffect{};
  record.magic = mode == kReturnWrongMagic ? FourCharCode("Nope") : kEffectMagic;
  record.dispatcher = dispatcher;
  record.numOutputs = mode == kReturnHugeChannelCount ? 1000000 : 1;
  record.flags = effFlagsCanReplacing;
  record.processReplacing = processConstant;
  return &record;
}

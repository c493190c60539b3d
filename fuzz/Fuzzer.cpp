// The libFuzzer entry point; FUZZ_TARGET_<name> picks what one binary fuzzes.
#include "fuzz/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(FUZZ_TARGET_chunk)
  fuzz::FuzzChunk(data, size);
#elif defined(FUZZ_TARGET_preset)
  fuzz::FuzzPresetFile(data, size);
#elif defined(FUZZ_TARGET_png)
  fuzz::FuzzPng(data, size);
#elif defined(FUZZ_TARGET_events)
  fuzz::FuzzEvents(data, size);
#elif defined(FUZZ_TARGET_paramtext)
  fuzz::FuzzParamText(data, size);
#elif defined(FUZZ_TARGET_fonttext)
  fuzz::FuzzFontText(data, size);
#else
#error "no fuzz target chosen"
#endif
  return 0;
}

// Renders ten seconds at 48 kHz, a hit every half second, in blocks of 256
// by one of three routes, for counting instructions without timing noise:
//   valgrind --tool=callgrind --toggle-collect='*MeasuredRun*' voice_instructions render [sse2|avx2|avx512]
// and divide the count by the 480000 samples. The route "silence" renders
// the same ten seconds through the host's float callback, long after one
// hit. The lanes' instruction set is
// the widest available unless named (valgrind offers no AVX-512).
#include <cstdio>
#include <string>

#include "bench/voice/VoiceWorkload.h"
#include "instrument/voice/VoiceStages.h"

using namespace voicebench;

namespace {

constexpr int kBlocks = 480000 / kBlock;

__attribute__((noinline)) float MeasuredRunBySample(DrumVoice& voice) {
  std::array<float, kBlock> block{};
  float sum = 0.0f;
  int untilHit = 0;
  for (int b = 0; b < kBlocks; ++b) {
    BlockBySample(voice, block, untilHit);
    sum += block[0];
  }
  return sum;
}

__attribute__((noinline)) float MeasuredRunByRender(DrumVoice& voice) {
  std::array<float, kBlock> block{};
  float sum = 0.0f;
  int untilHit = 0;
  for (int b = 0; b < kBlocks; ++b) {
    BlockByRender(voice, block, untilHit);
    sum += block[0];
  }
  return sum;
}

__attribute__((noinline)) double MeasuredRunThroughInstrument(Thudrix& plug) {
  std::array<double, kBlock> left{}, right{};
  double sum = 0.0;
  int untilHit = 0;
  for (int b = 0; b < kBlocks; ++b) {
    BlockThroughInstrument(plug, left, right, untilHit);
    sum += left[0];
  }
  return sum;
}

__attribute__((noinline)) float MeasuredRunInSilence(Thudrix& plug) {
  std::array<float, kBlock> left{}, right{};
  float* outs[] = {left.data(), right.data()};
  vst2::VstEffect* e = plug.Effect();
  float sum = 0.0f;
  for (int b = 0; b < kBlocks; ++b) {
    e->processReplacing(e, nullptr, outs, kBlock);
    sum += left[0] + right[kBlock - 1];
  }
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string route = argc > 1 ? argv[1] : "";
  if (argc > 2) {
    bool known = false;
    for (VoiceLanes lanes : {VoiceLanes::Sse2, VoiceLanes::Avx2, VoiceLanes::Avx512})
      if (argv[2] == std::string(VoiceLanesName(lanes))) {
        known = true;
        if (!SelectVoiceLanes(lanes)) {
          std::fprintf(stderr, "%s is not available here\n", argv[2]);
          return 2;
        }
      }
    if (!known) {
      std::fprintf(stderr, "unknown instruction set %s\n", argv[2]);
      return 2;
    }
  }
  std::printf("lanes: %s\n", VoiceLanesName(ActiveVoiceLanes()));
  if (route == "sample" || route == "render") {
    DrumVoice voice;
    SetUpVoice(voice);
    const float sum = route == "sample" ? MeasuredRunBySample(voice) : MeasuredRunByRender(voice);
    std::printf("%s: %d samples, check %.9g\n", route.c_str(), kBlocks * kBlock, sum);
    return 0;
  }
  if (route == "instrument") {
    auto plug = MakeStartedInstrument();
    std::printf("instrument: %d samples, check %.17g\n", kBlocks * kBlock, MeasuredRunThroughInstrument(*plug));
    return 0;
  }
  if (route == "silence") {
    auto plug = MakeStartedInstrument();
    vst2::VstEffect* e = plug->Effect();
    e->setParameter(e, kParamTrigger, 1.0f);
    std::array<float, kBlock> left{}, right{};
    float* outs[] = {left.data(), right.data()};
    for (int b = 0; b < static_cast<int>(kRate) * 600 / kBlock; ++b) e->processReplacing(e, nullptr, outs, kBlock);
    std::printf("silence: %d samples, check %.9g\n", kBlocks * kBlock, MeasuredRunInSilence(*plug));
    return 0;
  }
  std::fprintf(stderr, "usage: voice_instructions sample|render|instrument|silence [sse2|avx2|avx512]\n");
  return 2;
}

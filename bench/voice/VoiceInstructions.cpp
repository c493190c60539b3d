// Renders ten seconds at 48 kHz, a hit every half second, in blocks of 256
// by one of three routes, for counting instructions without timing noise:
//   valgrind --tool=callgrind --toggle-collect='*MeasuredRun*' voice_instructions render
// and divide the count by the 480000 samples.
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "instrument/Thudrix.h"
#include "instrument/voice/DrumVoice.h"
#include "presets/PresetFiles.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kSamplesPerHit = 24000;
constexpr int kBlocks = 480000 / kBlock;

intptr_t QuietHost(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

void SetUpVoice(DrumVoice& voice)
{
    voice.SetSampleRate(kRate);
    voice.ApplyParam(0, 0.0);
    for (int index = 1; index <= 8; ++index)
        voice.ApplyParam(index, 0.5);
}

__attribute__((noinline)) float MeasuredRunBySample(DrumVoice& voice)
{
    std::array<float, kBlock> block{};
    float sum = 0.0f;
    int untilHit = 0;
    for (int b = 0; b < kBlocks; ++b) {
        for (float& sample : block) {
            if (untilHit-- == 0) {
                voice.SetNote(33);
                voice.Trigger();
                untilHit = kSamplesPerHit - 1;
            }
            sample = voice.NextSample();
        }
        sum += block[0];
    }
    return sum;
}

__attribute__((noinline)) float MeasuredRunByRender(DrumVoice& voice)
{
    std::array<float, kBlock> block{};
    float sum = 0.0f;
    int untilHit = 0;
    for (int b = 0; b < kBlocks; ++b) {
        int done = 0;
        while (done < kBlock) {
            if (untilHit == 0) {
                voice.SetNote(33);
                voice.Trigger();
                untilHit = kSamplesPerHit;
            }
            const int n = kBlock - done < untilHit ? kBlock - done : untilHit;
            voice.Render(block.data() + done, n);
            done += n;
            untilHit -= n;
        }
        sum += block[0];
    }
    return sum;
}

__attribute__((noinline)) double MeasuredRunThroughInstrument(Thudrix& plug)
{
    std::array<double, kBlock> left{}, right{};
    double* outs[] = {left.data(), right.data()};
    double sum = 0.0;
    int untilHit = 0;
    for (int b = 0; b < kBlocks; ++b) {
        if (untilHit < kBlock) {
            MidiMsg note;
            note.offset = untilHit;
            note.status = 0x90;
            note.data1 = 33;
            note.data2 = 100;
            plug.HandleMidiMessage(note);
            untilHit += kSamplesPerHit;
        }
        plug.ProcessDouble(nullptr, outs, kBlock);
        untilHit -= kBlock;
        sum += left[0];
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string route = argc > 1 ? argv[1] : "";
    if (route == "sample" || route == "render") {
        DrumVoice voice;
        SetUpVoice(voice);
        const float sum = route == "sample" ? MeasuredRunBySample(voice) : MeasuredRunByRender(voice);
        std::printf("%s: %d samples, check %.9g\n", route.c_str(), kBlocks * kBlock, sum);
        return 0;
    }
    if (route == "instrument") {
        char root[] = "/tmp/thudra-bench-XXXXXX";
        if (mkdtemp(root))
            SetPresetRootFolder(std::string(root) + "/");
        auto plug = std::make_unique<Thudrix>(&QuietHost);
        vst2::VstEffect* e = plug->Effect();
        e->dispatcher(e, vst2::effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
        e->dispatcher(e, vst2::effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        e->dispatcher(e, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
        std::printf("instrument: %d samples, check %.17g\n", kBlocks * kBlock, MeasuredRunThroughInstrument(*plug));
        return 0;
    }
    std::fprintf(stderr, "usage: voice_instructions sample|render|instrument\n");
    return 2;
}

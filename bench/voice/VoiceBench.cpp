// Render cost of the drum voice: blocks of 256 frames at 48 kHz with a hit
// every half second, reported as ns per sample. Measured one sample at a
// time (NextSample), by block (Render), and through the instrument's audio
// callback with the hits as MIDI note-ons.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <memory>
#include <string>

#include "instrument/Thudrix.h"
#include "instrument/voice/DrumVoice.h"
#include "presets/PresetFiles.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kSamplesPerHit = 24000;

void SetUpVoice(DrumVoice& voice)
{
    voice.SetSampleRate(kRate);
    voice.ApplyParam(0, 0.0);
    for (int index = 1; index <= 8; ++index)
        voice.ApplyParam(index, 0.5);
}

void ReportPerSample(benchmark::State& state)
{
    const auto samples = static_cast<double>(state.iterations()) * kBlock;
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}

void RenderBlocks(benchmark::State& state)
{
    DrumVoice voice;
    SetUpVoice(voice);
    std::array<float, kBlock> block{};
    int untilHit = 0;
    for (auto _ : state) {
        for (float& sample : block) {
            if (untilHit-- == 0) {
                voice.SetNote(33);
                voice.Trigger();
                untilHit = kSamplesPerHit - 1;
            }
            sample = voice.NextSample();
        }
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    ReportPerSample(state);
}

// The same hits, the block split where one falls.
void RenderBlocksByRender(benchmark::State& state)
{
    DrumVoice voice;
    SetUpVoice(voice);
    std::array<float, kBlock> block{};
    int untilHit = 0;
    for (auto _ : state) {
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
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    ReportPerSample(state);
}

intptr_t QuietHost(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

// Through the double-precision audio callback, the hits as note-ons at
// their offsets within the block.
void RenderBlocksThroughInstrument(benchmark::State& state)
{
    static const bool rooted = [] {
        char root[] = "/tmp/thudra-bench-XXXXXX";
        if (mkdtemp(root))
            SetPresetRootFolder(std::string(root) + "/");
        return true;
    }();
    (void)rooted;
    auto plug = std::make_unique<Thudrix>(&QuietHost);
    vst2::VstEffect* e = plug->Effect();
    e->dispatcher(e, vst2::effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    e->dispatcher(e, vst2::effSetBlockSize, 0, kBlock, nullptr, 0.0f);
    e->dispatcher(e, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
    std::array<double, kBlock> left{}, right{};
    double* outs[] = {left.data(), right.data()};
    int untilHit = 0;
    for (auto _ : state) {
        if (untilHit < kBlock) {
            MidiMsg note;
            note.offset = untilHit;
            note.status = 0x90;
            note.data1 = 33;
            note.data2 = 100;
            plug->HandleMidiMessage(note);
            untilHit += kSamplesPerHit;
        }
        plug->ProcessDouble(nullptr, outs, kBlock);
        untilHit -= kBlock;
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    ReportPerSample(state);
}

}  // namespace

BENCHMARK(RenderBlocks);
BENCHMARK(RenderBlocksByRender);
BENCHMARK(RenderBlocksThroughInstrument);
BENCHMARK_MAIN();

#pragma once
// The voice benchmarks' one workload: 48 kHz, blocks of 256 frames, a hit
// every half second, rendered sample by sample, by block, or through the
// instrument's audio callback. The timed benchmark and the instruction
// count run the same code.
#include <array>
#include <memory>
#include <string>

#include "instrument/Thudrix.h"
#include "instrument/voice/DrumVoice.h"
#include "tests/instrument/StartedThudrix.h"

namespace voicebench {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kSamplesPerHit = 24000;

inline void SetUpVoice(DrumVoice& voice) {
  voice.SetSampleRate(kRate);
  voice.ApplyParam(0, 0.0);
  for (int index = 1; index <= 8; ++index) voice.ApplyParam(index, 0.5);
}

// untilHit counts down to the next hit across blocks.
inline void BlockBySample(DrumVoice& voice, std::array<float, kBlock>& block, int& untilHit) {
  for (float& sample : block) {
    if (untilHit-- == 0) {
      voice.SetNote(33);
      voice.Trigger();
      untilHit = kSamplesPerHit - 1;
    }
    sample = voice.NextSample();
  }
}

// The same hits, the block split where one falls.
inline void BlockByRender(DrumVoice& voice, std::array<float, kBlock>& block, int& untilHit) {
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
}

// An instrument opened and started like a host does, reading presets from
// an empty scratch folder so no user file changes the figures.
inline std::unique_ptr<Thudrix> MakeStartedInstrument() {
  UseEmptyPresetRoot();
  return MakeStartedThudrix(&QuietHost, static_cast<float>(kRate), kBlock);
}

// One block through the double-precision callback, the hits as note-ons at
// their offsets within the block.
inline void BlockThroughInstrument(Thudrix& plug, std::array<double, kBlock>& left, std::array<double, kBlock>& right,
                                   int& untilHit) {
  if (untilHit < kBlock) {
    MidiMsg note;
    note.offset = untilHit;
    note.status = 0x90;
    note.data1 = 33;
    note.data2 = 100;
    plug.HandleMidiMessage(note);
    untilHit += kSamplesPerHit;
  }
  double* outs[] = {left.data(), right.data()};
  plug.ProcessDouble(nullptr, outs, kBlock);
  untilHit -= kBlock;
}

}  // namespace voicebench

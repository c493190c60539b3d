#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// Parameter values as the instrument hands them over: "Pitch" 0, knobs at
// 0.5, both MIDI modes off.
template <class Voice>
void ApplyDefaults(Voice& voice) {
  voice.ApplyParam(0, 0.0);
  for (int index = 1; index <= 8; ++index) voice.ApplyParam(index, 0.5);
  voice.ApplyParam(9, 0.0);
  voice.ApplyParam(10, 0.0);
}

template <class Voice>
void PadHit(Voice& voice) {
  voice.SetNote(33);
  voice.Trigger();
}

template <class Voice>
void MidiHit(Voice& voice, int note, int velocity) {
  voice.SetNote(note);
  voice.SetMidiAccent(velocity * 0.0078125);
  voice.Trigger();
}

inline int64_t ScenarioLength(double sampleRate) { return static_cast<int64_t>(2.0 * sampleRate); }

// What the scenario does to the voice just before sample s: two seconds of
// hits, retriggers, tune mode with notes, accent mode with velocities and a
// sweep over every knob.
template <class Voice>
void ScenarioEventsAt(Voice& voice, double sampleRate, int64_t s) {
  const auto at = [sampleRate](double seconds) { return static_cast<int64_t>(seconds * sampleRate); };
  if (s == at(0.0) || s == at(0.25) || s == at(0.5)) PadHit(voice);
  if (s >= at(0.55) && s < at(0.8) && s % 256 == 0) {
    const int index = 1 + static_cast<int>((s / 256) % 8);
    voice.ApplyParam(index, 0.5 + 0.5 * std::sin(static_cast<double>(s) * 0.001));
    if (s % 2048 == 0) PadHit(voice);
  }
  if (s == at(0.8)) {
    ApplyDefaults(voice);
    voice.ApplyParam(9, 1.0);
    MidiHit(voice, 45, 100);
  }
  if (s == at(1.0)) {
    voice.ApplyParam(0, 3.0);
    MidiHit(voice, 28, 127);
  }
  if (s == at(1.2)) {
    voice.ApplyParam(10, 1.0);
    MidiHit(voice, 40, 64);
  }
  if (s == at(1.4)) MidiHit(voice, 33, 20);
  if (s == at(1.5)) {
    voice.ApplyParam(9, 0.0);
    voice.ApplyParam(10, 0.0);
    PadHit(voice);
  }
  if (s == at(1.7)) {
    voice.ApplyParam(0, -12.0);
    voice.ApplyParam(4, 0.0);
    voice.ApplyParam(8, 1.0);
    PadHit(voice);
  }
}

// Stands in for a voice to find out whether the scenario does anything at a sample.
struct ScenarioProbe {
  bool touched = false;
  void ApplyParam(int, double) { touched = true; }
  void SetNote(int) { touched = true; }
  void SetMidiAccent(double) { touched = true; }
  void Trigger() { touched = true; }
};

inline bool ScenarioHasEventAt(double sampleRate, int64_t s) {
  ScenarioProbe probe;
  ScenarioEventsAt(probe, sampleRate, s);
  return probe.touched;
}

// The scenario rendered one sample at a time, appended to out.
template <class Voice>
void RenderScenario(Voice& voice, double sampleRate, std::vector<float>& out) {
  voice.SetSampleRate(sampleRate);
  ApplyDefaults(voice);
  const int64_t length = ScenarioLength(sampleRate);
  for (int64_t s = 0; s < length; ++s) {
    ScenarioEventsAt(voice, sampleRate, s);
    out.push_back(voice.NextSample());
  }
}

// The same scenario rendered with Render in blocks whose sizes cycle through
// blockSizes, a block being cut short where the scenario does something.
template <class Voice>
void RenderScenarioInBlocks(Voice& voice, double sampleRate, const std::vector<int>& blockSizes,
                            std::vector<float>& out) {
  voice.SetSampleRate(sampleRate);
  ApplyDefaults(voice);
  const int64_t length = ScenarioLength(sampleRate);
  size_t nextSize = 0;
  for (int64_t s = 0; s < length;) {
    ScenarioEventsAt(voice, sampleRate, s);
    int64_t end = s + blockSizes[nextSize++ % blockSizes.size()];
    if (end > length) end = length;
    for (int64_t t = s + 1; t < end; ++t) {
      if (ScenarioHasEventAt(sampleRate, t)) {
        end = t;
        break;
      }
    }
    const size_t first = out.size();
    out.resize(first + static_cast<size_t>(end - s));
    voice.Render(out.data() + first, static_cast<int32_t>(end - s));
    s = end;
  }
}

// A minimal instrument module for testing the host: two outputs, three
// named parameters, and a one-sample click at each note-on's exact frame.
// Channel 1 carries Level * velocity / 127, channel 2 half of that.
// Controller 1 is reported back to the host as an automation gesture on
// Level and echoed as a MIDI event.
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "tests/host/ClickSynthLog.h"
#include "vst2/VstAbi.h"

using namespace vst2;

#define CLICK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

ClickSynthLog logRecord;

enum Param { kLevel, kDecay, kMode, kParamCount };
const char* const kParamNames[kParamCount] = {"Level", "Decay", "Mode"};
const char* const kParamLabels[kParamCount] = {"%", "ms", ""};

struct PendingEvent {
  int32_t delta;
  unsigned char bytes[3];
};

struct ClickSynth {
  VstEffect effect{};
  VstHostCallback host = nullptr;
  float params[kParamCount] = {1.0f, 0.5f, 0.0f};
  int64_t framesDone = 0;
  std::vector<PendingEvent> pending;
};

ClickSynth* synthOf(VstEffect* effect) { return static_cast<ClickSynth*>(effect->object); }

void copyText(void* ptr, const char* text) {
  if (ptr) std::snprintf(static_cast<char*>(ptr), 64, "%s", text);
}

void displayParam(const ClickSynth& synth, int32_t index, char* out) {
  const float value = synth.params[index];
  if (index == kLevel)
    std::snprintf(out, 32, "%.0f", value * 100.0f);
  else if (index == kDecay)
    std::snprintf(out, 32, "%.0f", value * 1000.0f);
  else
    std::snprintf(out, 32, "%s", value >= 0.5f ? "On" : "Off");
}

void reportController(ClickSynth& synth, const PendingEvent& event) {
  const float value = event.bytes[2] / 127.0f;
  synth.params[kLevel] = value;
  synth.host(&synth.effect, audioMasterBeginEdit, kLevel, 0, nullptr, 0.0f);
  synth.host(&synth.effect, audioMasterAutomate, kLevel, 0, nullptr, value);
  synth.host(&synth.effect, audioMasterEndEdit, kLevel, 0, nullptr, 0.0f);

  VstMidiEvent echo{};
  echo.type = kVstMidiType;
  echo.byteSize = sizeof echo;
  echo.deltaFrames = event.delta;
  std::memcpy(echo.midiData, event.bytes, 3);
  VstEvents list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&echo);
  synth.host(&synth.effect, audioMasterProcessEvents, 0, 0, &list, 0.0f);
}

void receiveEvents(ClickSynth& synth, const VstEvents* list) {
  for (int32_t i = 0; i < list->numEvents; ++i) {
    const VstEvent* event = list->events[i];
    if (!event || event->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    PendingEvent pending{midi->deltaFrames, {}};
    std::memcpy(pending.bytes, midi->midiData, 3);
    synth.pending.push_back(pending);
  }
}

void readTransport(ClickSynth& synth) {
  auto* time = reinterpret_cast<const VstTimeInfo*>(
      synth.host(&synth.effect, audioMasterGetTime, 0, kVstTempoValid, nullptr, 0.0f));
  if (!time) return;
  if (logRecord.floatProcessCalls + logRecord.doubleProcessCalls == 0) {
    logRecord.firstTempo = time->tempo;
    logRecord.firstTimeFlags = time->flags;
  }
  logRecord.lastSamplePos = time->samplePos;
}

template <typename Sample>
void render(VstEffect* effect, Sample** outputs, int32_t frames) {
  ClickSynth& synth = *synthOf(effect);
  readTransport(synth);
  for (int32_t i = 0; i < frames; ++i) outputs[0][i] = outputs[1][i] = 0;
  for (const PendingEvent& event : synth.pending) {
    if (event.delta < 0 || event.delta >= frames) {
      ++logRecord.eventsOutsideBlock;
      continue;
    }
    const int kind = event.bytes[0] & 0xf0;
    if (kind == 0x90 && event.bytes[2] > 0) {
      const int n = logRecord.noteOnCount++;
      if (n < kClickLogCapacity) {
        logRecord.noteOnFrames[n] = synth.framesDone + event.delta;
        logRecord.noteOnKeys[n] = event.bytes[1];
      }
      const Sample click = static_cast<Sample>(synth.params[kLevel] * event.bytes[2] / 127.0f);
      outputs[0][event.delta] += click;
      outputs[1][event.delta] += click / 2;
    } else if (kind == 0x80 || kind == 0x90) {
      ++logRecord.noteOffCount;
    } else if (kind == 0xb0) {
      ++logRecord.controllerCount;
      if (event.bytes[1] == 1) reportController(synth, event);
    }
  }
  synth.pending.clear();
  synth.framesDone += frames;
}

void processFloat(VstEffect* effect, float**, float** outputs, int32_t frames) {
  render(effect, outputs, frames);
  ++logRecord.floatProcessCalls;
}

void processDouble(VstEffect* effect, double**, double** outputs, int32_t frames) {
  render(effect, outputs, frames);
  ++logRecord.doubleProcessCalls;
}

void setParameter(VstEffect* effect, int32_t index, float value) {
  if (index >= 0 && index < kParamCount) {
    synthOf(effect)->params[index] = value;
    ++logRecord.setParameterCalls;
  }
}

float getParameter(VstEffect* effect, int32_t index) {
  return index >= 0 && index < kParamCount ? synthOf(effect)->params[index] : 0.0f;
}

void switchOn(ClickSynth& synth) {
  ++logRecord.mainsOnCalls;
  logRecord.processLevel =
      static_cast<int32_t>(synth.host(&synth.effect, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f));
  synth.host(&synth.effect, audioMasterGetProductString, 0, 0, logRecord.hostProduct, 0.0f);
  logRecord.hostCanDoEvents =
      static_cast<int32_t>(synth.host(&synth.effect, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstEvents"), 0.0f));
  logRecord.hostCanDoUnknown =
      static_cast<int32_t>(synth.host(&synth.effect, audioMasterCanDo, 0, 0, const_cast<char*>("teleport"), 0.0f));
  synth.host(&synth.effect, audioMasterWantMidi, 0, 1, nullptr, 0.0f);
}

intptr_t dispatcher(VstEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  ClickSynth* synth = synthOf(effect);
  const bool validParam = index >= 0 && index < kParamCount;
  switch (opcode) {
    case effOpen:
      ++logRecord.openCalls;
      return 0;
    case effClose:
      ++logRecord.closeCalls;
      delete synth;
      return 0;
    case effSetSampleRate:
      logRecord.sampleRate = opt;
      return 0;
    case effSetBlockSize:
      logRecord.blockSize = static_cast<int32_t>(value);
      return 0;
    case effMainsChanged:
      if (value)
        switchOn(*synth);
      else
        ++logRecord.mainsOffCalls;
      return 0;
    case effGetParamName:
      if (validParam) copyText(ptr, kParamNames[index]);
      return 0;
    case effGetParamLabel:
      if (validParam) copyText(ptr, kParamLabels[index]);
      return 0;
    case effGetParamDisplay:
      if (validParam && ptr) displayParam(*synth, index, static_cast<char*>(ptr));
      return 0;
    case effProcessEvents:
      if (ptr) receiveEvents(*synth, static_cast<const VstEvents*>(ptr));
      return 1;
    case effGetEffectName:
      copyText(ptr, "Click Synth");
      return 1;
    case effGetVendorString:
      copyText(ptr, "Test Vendor");
      return 1;
    case effGetProductString:
      copyText(ptr, "Click Product");
      return 1;
    case effGetPlugCategory:
      return kPlugCategSynth;
    case effGetVstVersion:
      return kVstVersion;
    default:
      return 0;
  }
}

}  // namespace

CLICK_EXPORT ClickSynthLog* ClickSynthGetLog() { return &logRecord; }

CLICK_EXPORT VstEffect* VSTPluginMain(VstHostCallback host) {
  if (!host) return nullptr;
  logRecord = ClickSynthLog{};
  logRecord.hostVersionDuringCreation = static_cast<int32_t>(host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f));

  auto* synth = new (std::nothrow) ClickSynth;
  if (!synth) return nullptr;
  synth->host = host;
  VstEffect& effect = synth->effect;
  effect.magic = kEffectMagic;
  effect.dispatcher = dispatcher;
  effect.setParameter = setParameter;
  effect.getParameter = getParameter;
  effect.numPrograms = 1;
  effect.numParams = kParamCount;
  effect.numOutputs = 2;
  effect.flags = effFlagsCanReplacing | effFlagsIsSynth | effFlagsCanDoubleReplacing;
  effect.ioRatio = 1.0f;
  effect.object = synth;
  effect.uniqueID = FourCharCode("TsCk");
  effect.version = 1234;
  effect.processReplacing = processFloat;
  effect.processDoubleReplacing = processDouble;
  return &effect;
}

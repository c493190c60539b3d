// The LV2 plug-in: control ports in, MIDI and the editor's messages in, the
// two outputs and the hit light out; the preset name kept in the host's state.
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#include "lv2/Lv2Messages.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Thudrix.h"
#include "platform/Lock.h"

namespace {

using namespace lv2port;

// Hears the instrument's own changes: those of a learned MIDI controller.
struct ThudraPlugin final : ParamListener {
  Lv2Thudrix* plug = nullptr;
  Lv2Uris uris{};
  LV2_Atom_Forge forge{};
  const LV2_Atom_Sequence* controlIn = nullptr;
  LV2_Atom_Sequence* notifyOut = nullptr;
  float* audio[2] = {};
  float* params[kPortedParams] = {};
  float applied[kPortedParams] = {};
  bool appliedOnce[kPortedParams] = {};
  PresetName presetName;
  bool nameToSend = false;
  bool moved[kPortedParams] = {};

  ~ThudraPlugin() override { delete plug; }

  void EditBegun(int32_t) override {}
  void EditEnded(int32_t) override {}
  void Changed(int32_t index, double) override {
    if (HasPort(index) && !IsOutput(index)) moved[index] = true;
  }
};

ThudraPlugin* Self(LV2_Handle handle) { return static_cast<ThudraPlugin*>(handle); }

const void* Feature(const LV2_Feature* const* features, const char* uri) {
  for (; features && *features; ++features)
    if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
  return nullptr;
}

// The longest block the host will run, when it says.
int32_t MaxBlockFromOptions(const LV2_Options_Option* options, LV2_URID_Map* map) {
  if (!options) return 0;
  const LV2_URID maxLength = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
  for (; options->key; ++options)
    if (options->key == maxLength && options->type == intType && options->size == sizeof(int32_t))
      return *static_cast<const int32_t*>(options->value);
  return 0;
}

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
  auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(Feature(features, LV2_URID__map)));
  // Every time constant would be infinite at a rate of zero or less.
  if (!map || !(rate > 0.0) || rate > 1e7) return nullptr;
  auto* self = new (std::nothrow) ThudraPlugin();
  if (!self) return nullptr;
  self->plug = Lv2Thudrix::Create();
  if (!self->plug) {
    delete self;
    return nullptr;
  }
  self->plug->SetListener(self);
  self->uris = MapUris(map);
  lv2_atom_forge_init(&self->forge, map);
  Lv2Thudrix& plug = *self->plug;
  // The same start as the VST2 module's: open, rate, block size.
  LockHold hold(plug.InstanceLock());
  for (int32_t i = 0; i < plug.ParamCount(); ++i) plug.ParamChanged(i);
  plug.SetSampleRate(rate);
  plug.ResetProcessing();
  const auto* options = static_cast<const LV2_Options_Option*>(Feature(features, LV2_OPTIONS__options));
  if (const int32_t maxBlock = MaxBlockFromOptions(options, map); maxBlock > 0) {
    plug.SetMaxBlockSize(maxBlock);
    plug.ResetProcessing();
  }
  return self;
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
  ThudraPlugin* self = Self(handle);
  switch (port) {
    case kControlIn:
      self->controlIn = static_cast<const LV2_Atom_Sequence*>(data);
      break;
    case kNotifyOut:
      self->notifyOut = static_cast<LV2_Atom_Sequence*>(data);
      break;
    case kAudioLeft:
      self->audio[0] = static_cast<float*>(data);
      break;
    case kAudioRight:
      self->audio[1] = static_cast<float*>(data);
      break;
    default:
      if (const int32_t param = ParamOfPort(port); param >= 0) self->params[param] = static_cast<float*>(data);
      break;
  }
}

void Activate(LV2_Handle handle) { Self(handle)->plug->Activated(true); }

void Deactivate(LV2_Handle handle) {
  Lv2Thudrix& plug = *Self(handle)->plug;
  LockHold hold(plug.InstanceLock());
  plug.Activated(false);
  plug.ResetProcessing();
}

// Control ports act at the block they arrive in, when they changed.
void ApplyControlPorts(ThudraPlugin& self) {
  for (int32_t i = 0; i < kPortedParams; ++i) {
    if (IsOutput(i) || !self.params[i]) continue;
    const float value = *self.params[i];
    if (self.appliedOnce[i] && value == self.applied[i]) continue;
    if (!self.plug->ApplyPortValue(i, value)) continue;
    self.applied[i] = value;
    self.appliedOnce[i] = true;
  }
}

void DeliverMidi(ThudraPlugin& self, const LV2_Atom_Event& event, uint32_t frames) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&event + 1);
  const uint32_t size = event.body.size;
  if (size < 1 || size > 3 || bytes[0] < 0x80) return;
  MidiMsg msg;
  // Events outside the block (a host's mistake) act at its nearest end.
  int64_t offset = event.time.frames;
  if (offset < 0) offset = 0;
  if (offset >= int64_t(frames)) offset = frames > 0 ? frames - 1 : 0;
  msg.offset = int32_t(offset);
  msg.status = bytes[0];
  msg.data1 = size > 1 ? bytes[1] & 0x7F : 0;
  msg.data2 = size > 2 ? bytes[2] & 0x7F : 0;
  self.plug->HandleMidiMessage(msg);
}

void ReadControlIn(ThudraPlugin& self, uint32_t frames) {
  if (!self.controlIn) return;
  LV2_ATOM_SEQUENCE_FOREACH(self.controlIn, event) {
    if (event->body.type == self.uris.midiEvent) {
      DeliverMidi(self, *event, frames);
    } else if (IsPatchGet(self.uris, event->body)) {
      self.nameToSend = true;
    } else if (const char* name = PresetNameFromPatchSet(self.uris, event->body)) {
      self.presetName.Set(name);
    } else if (IsPadPress(self.uris, event->body)) {
      self.plug->PressPad();
    }
  }
}

void WriteNotifyOut(ThudraPlugin& self) {
  if (!self.notifyOut) return;
  const uint32_t capacity = self.notifyOut->atom.size;
  lv2_atom_forge_set_buffer(&self.forge, reinterpret_cast<uint8_t*>(self.notifyOut), capacity);
  LV2_Atom_Forge_Frame frame;
  if (!lv2_atom_forge_sequence_head(&self.forge, &frame, 0)) return;
  if (self.nameToSend) {
    lv2_atom_forge_frame_time(&self.forge, 0);
    if (ForgePresetNameSet(self.forge, self.uris, self.presetName.Get())) self.nameToSend = false;
  }
  for (int32_t i = 0; i < kPortedParams; ++i) {
    if (!self.moved[i]) continue;
    double natural = 0.0;
    NaturalFromPort(*self.plug->ParamAt(i), float(self.plug->ParamAt(i)->Value()), natural);
    lv2_atom_forge_frame_time(&self.forge, 0);
    if (ForgeControlMoved(self.forge, self.uris, PortOfParam(i), float(natural))) self.moved[i] = false;
  }
  lv2_atom_forge_pop(&self.forge, &frame);
}

void Run(LV2_Handle handle, uint32_t frames) {
  ThudraPlugin& self = *Self(handle);
  Lv2Thudrix& plug = *self.plug;
  LockHold hold(plug.InstanceLock());
  ApplyControlPorts(self);
  ReadControlIn(self, frames);
  WriteNotifyOut(self);
  const int32_t n = frames > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(frames);
  plug.ProcessSingle(nullptr, self.audio, n, false);
  if (float* led = self.params[kParamLed]) *led = plug.LedLit() ? 1.0f : 0.0f;
}

void Cleanup(LV2_Handle handle) { delete Self(handle); }

LV2_State_Status SaveState(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                           const LV2_Feature* const*) {
  ThudraPlugin& self = *Self(handle);
  LockHold hold(self.plug->InstanceLock());
  const char* name = self.presetName.Get();
  return store(state, self.uris.presetName, name, std::strlen(name) + 1, self.uris.atomString,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status RestoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                              const LV2_Feature* const*) {
  ThudraPlugin& self = *Self(handle);
  size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const void* value = retrieve(state, self.uris.presetName, &size, &type, &flags);
  LockHold hold(self.plug->InstanceLock());
  // A state without a name (or with another type) keeps the sound unnamed.
  if (value && type == self.uris.atomString) {
    self.presetName.SetBounded(static_cast<const char*>(value), size);
  } else {
    self.presetName.Set("");
  }
  self.nameToSend = true;
  return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* uri) {
  static const LV2_State_Interface kState = {SaveState, RestoreState};
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {THUDRA_LV2_URI, Instantiate, ConnectPort,  Activate, Run,
                                    Deactivate,     Cleanup,     ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}

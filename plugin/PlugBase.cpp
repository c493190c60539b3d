#include "plugin/PlugBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/TextCopy.h"
#include "plugin/Narrow.h"

namespace {

void CopyName(char* out, const char* text) { CopyTextBounded(out, PlugBase::kNameCapacity, text); }

bool SizeScratch(GrowBuf& scratch, int32_t frames) {
  if (frames < 0 || frames > INT32_MAX / int32_t(sizeof(double))) return false;
  if (!scratch.Resize(frames * int32_t(sizeof(double)))) return false;
  for (int32_t i = 0; i < frames; ++i) scratch.As<double>()[i] = 0.0;
  return true;
}

}  // namespace

PlugBase::PlugBase(const PlugConfig& config) {
  CopyName(effectName_, config.effectName);
  CopyName(productName_, config.productName);
  CopyName(makerName_, config.makerName);
  version_ = config.version;
  uniqueId_ = config.uniqueId;
  makerId_ = config.makerId;
  isInstrument_ = config.isInstrument;
  presetSavedParams_ = config.presetSavedParams;
  presetLoadedParams_ = config.presetLoadedParams;
  for (int32_t i = 0; i < config.paramCount; ++i) params_.Add(new PlugParam());
  automateLater_.assign(size_t(params_.Count()), 0);
  for (int32_t i = 0; i < config.presetCount; ++i) presets_.Add(new PresetSlot());
  ParseChannelSpec(config.channelSpec);
}

PlugBase::~PlugBase() {
  delete editor_;
  editor_ = nullptr;
  params_.Clear();
  presets_.Clear();
  inputs_.Clear();
  outputs_.Clear();
  channelIO_.Clear();
}

void PlugBase::ParseChannelSpec(const char* spec) {
  int32_t maxIn = 0;
  int32_t maxOut = 0;
  const char* at = spec ? spec : "";
  while (*at) {
    int in = 0;
    int out = 0;
    std::sscanf(at, "%d-%d", &in, &out);
    auto* io = new ChannelIO{in, out};
    if (!channelIO_.Add(io)) delete io;
    if (in > maxIn) maxIn = in;
    if (out > maxOut) maxOut = out;
    const char* space = std::strchr(at, ' ');
    if (!space) break;
    at = space + 1;
  }
  CreateChannels(maxIn, maxOut);
}

void PlugBase::CreateChannels(int32_t inputCount, int32_t outputCount) {
  // The pointer arrays are sized once here and never move afterwards,
  // because every channel keeps the address of its own slot.
  constexpr int32_t kMaxChannels = 1024;
  if (inputCount > kMaxChannels) inputCount = kMaxChannels;
  if (outputCount > kMaxChannels) outputCount = kMaxChannels;
  if (!inputPointers_.ResizeZeroed(inputCount * int32_t(sizeof(double*)))) inputCount = 0;
  if (!outputPointers_.ResizeZeroed(outputCount * int32_t(sizeof(double*)))) outputCount = 0;
  for (int32_t i = 0; i < inputCount; ++i) {
    auto* channel = new InChannel();
    channel->slot = inputPointers_.As<double*>() + i;
    inputs_.Add(channel);
  }
  for (int32_t i = 0; i < outputCount; ++i) {
    auto* channel = new OutChannel();
    channel->slot = outputPointers_.As<double*>() + i;
    outputs_.Add(channel);
  }
}

bool PlugBase::LegalIO(int32_t inputs, int32_t outputs) const {
  for (int32_t i = 0; i < channelIO_.Count(); ++i) {
    const ChannelIO* io = channelIO_.Get(i);
    if ((inputs < 0 || io->inputs == inputs) && (outputs < 0 || io->outputs == outputs)) return true;
  }
  return false;
}

void PlugBase::ConnectInput(int32_t i, bool connected) {
  InChannel* channel = Input(i);
  if (!channel) return;
  channel->connected = connected;
  if (!connected) *channel->slot = channel->scratch.As<double>();
}

void PlugBase::ConnectOutput(int32_t i, bool connected) {
  OutChannel* channel = Output(i);
  if (!channel) return;
  channel->connected = connected;
  if (!connected) *channel->slot = channel->scratch.As<double>();
}

void PlugBase::SetMaxBlockSize(int32_t frames) {
  // Hosts may announce nonsense; larger host blocks are rendered in pieces.
  if (frames <= 0) return;
  if (frames > kMaxBlockSize) frames = kMaxBlockSize;
  if (frames == blockSize_) return;
  int32_t achieved = frames;
  auto size = [&](GrowBuf& scratch) {
    SizeScratch(scratch, frames);
    const int32_t have = scratch.Size() / int32_t(sizeof(double));
    if (have < achieved) achieved = have;
  };
  for (int32_t i = 0; i < InputCount(); ++i) size(Input(i)->scratch);
  for (int32_t i = 0; i < OutputCount(); ++i) size(Output(i)->scratch);
  blockSize_ = achieved;
  // A disconnected channel reads and writes its scratch, which may have moved.
  for (int32_t i = 0; i < InputCount(); ++i)
    if (!Input(i)->connected) *Input(i)->slot = Input(i)->scratch.As<double>();
  for (int32_t i = 0; i < OutputCount(); ++i)
    if (!Output(i)->connected) *Output(i)->slot = Output(i)->scratch.As<double>();
}

void PlugBase::AttachSingleBuffers(float** inputs, float** outputs, int32_t offset, int32_t frames) {
  int32_t cursor = 0;
  for (int32_t i = 0; i < InputCount(); ++i) {
    InChannel* channel = Input(i);
    if (!channel->connected) continue;
    double* scratch = channel->scratch.As<double>();
    const float* source = inputs && inputs[cursor] ? inputs[cursor] + offset : nullptr;
    for (int32_t s = 0; s < frames; ++s) scratch[s] = source ? double(source[s]) : 0.0;
    *channel->slot = scratch;
    ++cursor;
  }
  cursor = 0;
  for (int32_t i = 0; i < OutputCount(); ++i) {
    OutChannel* channel = Output(i);
    if (!channel->connected) continue;
    *channel->slot = channel->scratch.As<double>();
    channel->floatDestination = outputs && outputs[cursor] ? outputs[cursor] + offset : nullptr;
    ++cursor;
  }
}

void PlugBase::ReturnSingleBuffers(int32_t frames, bool accumulate) {
  for (int32_t i = 0; i < OutputCount(); ++i) {
    OutChannel* channel = Output(i);
    if (!channel->connected || !channel->floatDestination) continue;
    NarrowInto(channel->floatDestination, channel->scratch.As<double>(), frames, accumulate);
  }
}

void PlugBase::AttachDoubleBuffers(double** inputs, double** outputs, int32_t offset) {
  int32_t cursor = 0;
  for (int32_t i = 0; i < InputCount(); ++i) {
    InChannel* channel = Input(i);
    if (!channel->connected) continue;
    double* host = inputs && inputs[cursor] ? inputs[cursor] + offset : nullptr;
    *channel->slot = host ? host : channel->scratch.As<double>();
    ++cursor;
  }
  cursor = 0;
  for (int32_t i = 0; i < OutputCount(); ++i) {
    OutChannel* channel = Output(i);
    if (!channel->connected) continue;
    double* host = outputs && outputs[cursor] ? outputs[cursor] + offset : nullptr;
    *channel->slot = host ? host : channel->scratch.As<double>();
    ++cursor;
  }
}

void PlugBase::ResetProcessing() { LockHold hold(lock_); }

void PlugBase::ParamChanged(int32_t) { LockHold hold(lock_); }

void PlugBase::Activated(bool) { LockHold hold(lock_); }

void PlugBase::RenderBlock(double** inputs, double** outputs, int32_t frames) {
  const int32_t outs = OutputCount();
  const int32_t ins = InputCount();
  for (int32_t i = 0; i < outs; ++i) {
    if (!outputs || !outputs[i]) continue;
    if (i < ins && inputs && inputs[i]) {
      std::memmove(outputs[i], inputs[i], size_t(frames > 0 ? frames : 0) * sizeof(double));
    } else {
      for (int32_t s = 0; s < frames; ++s) outputs[i][s] = 0.0;
    }
  }
}

void PlugBase::RenderBlockSingle(float** inputs, float** outputs, int32_t frames) {
  const int32_t outs = OutputCount();
  const int32_t ins = InputCount();
  for (int32_t i = 0; i < outs; ++i) {
    if (!outputs || !outputs[i]) continue;
    if (i < ins && inputs && inputs[i]) {
      std::memmove(outputs[i], inputs[i], size_t(frames > 0 ? frames : 0) * sizeof(float));
    } else {
      for (int32_t s = 0; s < frames; ++s) outputs[i][s] = 0.0f;
    }
  }
}

void PlugBase::HandleMidiMessage(const MidiMsg& msg) { SendMidiToHost(msg); }

bool PlugBase::MidiNoteText(int32_t, char* text) {
  if (text) text[0] = 0;
  return false;
}

bool PlugBase::WriteState(StateChunk& chunk) { return SerializeParams(chunk); }

int32_t PlugBase::ReadState(const StateChunk& chunk, int32_t pos) { return UnserializeParams(chunk, pos); }

bool PlugBase::StateMatches(const double* data, int32_t start) {
  if (!data || start < 0) return false;
  for (int32_t i = 0; i < ParamCount(); ++i) {
    const float mine = float(ParamAt(i)->Value());
    const float theirs = float(data[start + i]);
    if (!(std::fabs(mine - theirs) < 0.00001f)) return false;
  }
  return true;
}

// --- Parameter changes ------------------------------------------------
// Every way a change reaches the instrument. Each sets the value and calls
// ParamChanged under the lock; they differ in whom they tell and when, and
// each order is the one its callers rely on.

// A control moved in the editor: the host hears the value the user set
// before the instrument acts on it, so its automation records the move; a
// press's read-back 0 follows on the next audio or idle call.
void PlugBase::ParamFromEditor(int32_t index, double normalized) {
  LockHold hold(lock_);
  PlugParam* param = ParamAt(index);
  if (!param) return;
  param->SetFromNormalized(normalized);
  HostAutomate(index, normalized);
  ParamChanged(index);
}

// The host set it: telling the host back from inside its own call could
// loop. The editor shows the value as it stands after the instrument acted,
// so a press reads back 0. Hosts should send 0..1; a value below it would
// land under the parameter's minimum, where the circuit model turns to NaN
// and stays there, and a non-number changes nothing.
bool PlugBase::ParamFromHost(int32_t index, double normalized) {
  LockHold hold(lock_);
  PlugParam* param = ParamAt(index);
  if (!param || std::isnan(normalized)) return false;
  normalized = std::clamp(normalized, 0.0, 1.0);
  const double set = param->SetFromNormalized(normalized);
  ParamChanged(index);
  const double shown = param->Value() == set ? normalized : param->NormalizedValue();
  if (editor_) editor_->ParamToControls(index, shown, true);
  return true;
}

// The host typed a value in the parameter's own units: the editor is shown
// that value before it is set, unheld to the range, and the host is not told
// back, as for the host's own call.
bool PlugBase::ParamFromHostText(int32_t index, double natural) {
  LockHold hold(lock_);
  PlugParam* param = ParamAt(index);
  if (!param) return false;
  if (editor_) editor_->ParamToControls(index, natural, false);
  param->SetNaturalClamped(natural);
  ParamChanged(index);
  return true;
}

// A learned MIDI controller moved: the instrument acts first, then the
// editor and the host follow, the host at once, since this is not its call.
// The caller puts the value's text in the read-out before this.
bool PlugBase::ParamFromController(int32_t index, double normalized) {
  LockHold hold(lock_);
  PlugParam* param = ParamAt(index);
  if (!param) return false;
  param->SetFromNormalized(normalized);
  ParamChanged(index);
  if (editor_) editor_->ParamToControls(index, normalized, true);
  HostAutomate(index, normalized);
  return true;
}

// One line of a preset file: the steps of a controller's move. The caller
// holds the lock over the whole file, so a preset never lands half-way
// through a rendered block. Values outside 0..1 would drive the circuit
// model outside its range.
bool PlugBase::ParamFromPreset(int32_t index, double normalized) {
  LockHold hold(lock_);
  PlugParam* param = ParamAt(index);
  if (!param) return false;
  normalized = std::clamp(normalized, 0.0, 1.0);
  param->SetFromNormalized(normalized);
  ParamChanged(index);
  if (editor_) editor_->ParamToControls(index, normalized, true);
  HostAutomate(index, normalized);
  return true;
}

// An LV2 control port's value, in the parameter's own units: the host set
// it, as with host text, and takes the same steps.
bool PlugBase::ParamFromPort(int32_t index, double natural) { return ParamFromHostText(index, natural); }

void PlugBase::HostAutomateLater(int32_t index) {
  LockHold hold(lock_);
  if (!ValidParam(index)) return;
  automateLater_[size_t(index)] = 1;
  automationPending_ = true;
}

void PlugBase::SendDeferredAutomation() {
  LockHold hold(lock_);
  // Asked every block: most blocks have nothing to send.
  if (!automationPending_) return;
  automationPending_ = false;
  for (int32_t i = 0; i < ParamCount(); ++i) {
    if (!automateLater_[size_t(i)]) continue;
    automateLater_[size_t(i)] = 0;
    HostAutomate(i, ParamAt(i)->NormalizedValue());
  }
}

void PlugBase::SetEditor(EditorLink* editor) {
  LockHold hold(lock_);
  if (editor) {
    for (int32_t i = 0; i < ParamCount(); ++i) editor->ParamToControls(i, ParamAt(i)->NormalizedValue(), true);
    editor->PrepareDrawing();
  }
  if (editor_ && editor_ != editor) delete editor_;
  editor_ = editor;
}

void PlugBase::RefreshParamControls() {
  if (!editor_) return;
  for (int32_t i = 0; i < ParamCount(); ++i) editor_->ParamToControls(i, ParamAt(i)->Value(), false);
}

// --- State ------------------------------------------------------------

bool PlugBase::SerializeParams(StateChunk& chunk) {
  LockHold hold(lock_);
  bool ok = true;
  for (int32_t i = 0; i < ParamCount(); ++i) ok = chunk.AppendDouble(ParamAt(i)->Value()) && ok;
  return ok && chunk.Size() > 0;
}

int32_t PlugBase::UnserializeParams(const StateChunk& chunk, int32_t pos) {
  LockHold hold(lock_);
  // A chunk that ends early leaves the parameters without data as they were:
  // a half-read state must not zero the rest of the sound.
  for (int32_t i = 0; i < ParamCount() && pos >= 0; ++i) {
    double v = 0.0;
    pos = chunk.ReadDouble(pos, &v);
    if (pos < 0) break;
    ParamAt(i)->SetNaturalClamped(v);
  }
  for (int32_t i = 0; i < ParamCount(); ++i) ParamChanged(i);
  return pos;
}

bool PlugBase::SerializePresets(StateChunk& chunk) {
  if (presets_.Count() == 0) return true;
  for (int32_t i = 0; i < presets_.Count(); ++i) {
    PresetSlot* preset = presets_.Get(i);
    const int32_t length = preset->name.Length();
    chunk.AppendInt32(length);
    chunk.AppendBytes(preset->name.Get(), length);
    const uint8_t flag = preset->initialised ? 1 : 0;
    chunk.AppendBytes(&flag, 1);
    if (preset->initialised) chunk.AppendBytes(preset->state.Data(), preset->state.Size());
  }
  return chunk.Size() > 0;
}

int32_t PlugBase::UnserializePresets(const StateChunk& chunk, int32_t pos) {
  for (int32_t i = 0; i < presets_.Count() && pos >= 0; ++i) {
    PresetSlot* preset = presets_.Get(i);
    int32_t length = 0;
    const bool cutOff = chunk.ReadInt32(pos, &length) < 0;
    char name[256] = {};
    if (!cutOff) {
      pos += 4;
      if (length > 0 && chunk.Has(pos, length)) {
        const int32_t n = length < int32_t(sizeof name) - 1 ? length : int32_t(sizeof name) - 1;
        std::memcpy(name, chunk.Data() + pos, size_t(n));
        pos += length;
      }
    }
    preset->name.Set(name);
    if (!cutOff && chunk.Has(pos, 1)) {
      preset->initialised = chunk.Data()[pos] != 0;
      pos += 1;
    } else {
      pos = -1;
    }
    if (pos >= 0 && preset->initialised) {
      pos = ReadState(chunk, pos);
      if (pos > 0) {
        preset->state.Clear();
        WriteState(preset->state);
      }
    }
  }
  LoadPresetSlot(currentPreset_);
  return pos;
}

void PlugBase::ModifyCurrentPreset(const char* name) {
  PresetSlot* preset = presets_.Get(currentPreset_);
  if (!preset) return;
  preset->state.Clear();
  WriteState(preset->state);
  if (name && name[0]) preset->name.Set(name);
}

bool PlugBase::LoadPresetSlot(int32_t index) {
  PresetSlot* preset = presets_.Get(index);
  if (!preset) return false;
  bool ok;
  if (preset->initialised) {
    ok = ReadState(preset->state, 0) > 0;
  } else {
    int32_t userPresets = 0;
    for (int32_t i = 0; i < presets_.Count(); ++i)
      if (std::strstr(presets_.Get(i)->name.Get(), "user preset")) ++userPresets;
    preset->initialised = true;
    char name[64];
    std::snprintf(name, sizeof name, "%s %d", "user preset", userPresets + 1);
    preset->name.Set(name);
    ok = WriteState(preset->state);
  }
  if (ok) {
    currentPreset_ = index;
    PresetsModified();
    RefreshParamControls();
  }
  return ok;
}

const char* PlugBase::PresetSlotName(int32_t index) const {
  const PresetSlot* preset = presets_.Get(index);
  return preset ? preset->name.Get() : "";
}

void PlugBase::FillEmptyPresets(int32_t count) {
  for (int32_t n = 0; n < count; ++n) {
    PresetSlot* empty = nullptr;
    for (int32_t i = 0; i < presets_.Count() && !empty; ++i)
      if (!presets_.Get(i)->initialised) empty = presets_.Get(i);
    if (!empty) return;
    empty->initialised = true;
    empty->name.Set("Empty");
    WriteState(empty->state);
  }
}

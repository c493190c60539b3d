#include "vst2/PlugVst2.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/TextCopy.h"
#include "vst2/DenormalGuard.h"

using namespace vst2;

namespace {

constexpr intptr_t kMaxChunkBytes = 64 * 1024 * 1024;

// Hosts that get a fixed channel layout in HostQuirksInit, by the ids
// DetectHost gives them.
constexpr HostId kHostForte = 15;
constexpr HostId kHostAudition = 17;
constexpr HostId kHostOrion = 18;
constexpr HostId kHostSawStudio = 20;

// A vendor extension answers with these rather than 1, so a host can tell
// "understood" from an ordinary yes: REAPER's extension queries expect
// 0xbeef0000, our own vendor-specific calls answer 0xbeef.
constexpr intptr_t kCockosExtensionAnswer = intptr_t(0xbeef0000);
constexpr intptr_t kVendorCallAnswer = 0xbeef;
// effVendorSpecific indexes: write a value's display text; ask whether a
// parameter moves in steps.
constexpr int32_t kVendorParamDisplayText = 7;
constexpr int32_t kVendorParamIsStepped = 8;

void CopyOut(void* ptr, size_t capacity, const char* text) { CopyTextBounded(static_cast<char*>(ptr), capacity, text); }

void DispatchToEffect(VstEffect* effect, float** in, float** out, int32_t frames, bool accumulate) {
  if (PlugVst2* plug = PlugVst2::FromEffect(effect)) plug->ProcessSingle(in, out, frames, accumulate);
}

void ProcessAccumulating(VstEffect* effect, float** in, float** out, int32_t frames) {
  DispatchToEffect(effect, in, out, frames, true);
}

void ProcessReplacing(VstEffect* effect, float** in, float** out, int32_t frames) {
  DispatchToEffect(effect, in, out, frames, false);
}

void ProcessDoubleReplacing(VstEffect* effect, double** in, double** out, int32_t frames) {
  if (PlugVst2* plug = PlugVst2::FromEffect(effect)) plug->ProcessDouble(in, out, frames);
}

void SetParameter(VstEffect* effect, int32_t index, float value) {
  if (PlugVst2* plug = PlugVst2::FromEffect(effect)) plug->SetParameterFromHost(index, value);
}

float GetParameter(VstEffect* effect, int32_t index) {
  PlugVst2* plug = PlugVst2::FromEffect(effect);
  return plug ? plug->ParameterForHost(index) : 0.0f;
}

intptr_t Dispatcher(VstEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  PlugVst2* plug = PlugVst2::FromEffect(effect);
  if (!plug) return 0;
  if (opcode == effClose) {
    // The lock is part of the instance: it is given up before the instance goes.
    {
      LockHold hold(plug->InstanceLock());
      effect->object = nullptr;
    }
    delete plug;
    return 0;
  }
  return plug->Dispatch(opcode, index, value, ptr, opt);
}

int32_t ArrangementType(int32_t channels) {
  switch (channels) {
    case 0:
      return kSpeakerArrEmpty;
    case 1:
      return kSpeakerArrMono;
    case 2:
      return kSpeakerArrStereo;
    default:
      return kSpeakerArrUserDefined;
  }
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the decimal number in [text, end), which from_chars found out of
// range, is too small (rather than too large) for a double.
bool TooSmallForDouble(const char* text, const char* end) {
  if (*text == '-') ++text;
  int64_t exponent = 0;  // of the first significant digit
  bool seenDigit = false;
  bool afterPoint = false;
  for (; text < end && (IsDigit(*text) || *text == '.'); ++text) {
    if (*text == '.') {
      afterPoint = true;
    } else if (seenDigit) {
      if (!afterPoint) ++exponent;
    } else if (*text != '0') {
      seenDigit = true;
      if (afterPoint) --exponent;
    } else if (afterPoint) {
      --exponent;
    }
  }
  if (text < end && (*text == 'e' || *text == 'E')) {
    ++text;
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    int64_t written = 0;
    for (; text < end && IsDigit(*text); ++text) written = std::min<int64_t>(written * 10 + (*text - '0'), 1000000);
    exponent += negative ? -written : written;
  }
  return exponent < 0;
}

// A decimal number at the start of text, read the same in every locale.
// Text that only starts like a number ("0x10", "1.5.2") is not one; a value
// too small for a double reads as 0.
bool ParseNumber(const char* text, double& out) {
  while (IsSpace(*text)) ++text;
  if (*text == '+') ++text;
  const char* end = text + std::strlen(text);
  double v = 0.0;
  const auto result = std::from_chars(text, end, v, std::chars_format::general);
  if (result.ptr == text) return false;
  if (result.ptr < end && (std::isalnum(static_cast<unsigned char>(*result.ptr)) || *result.ptr == '.')) return false;
  if (result.ec == std::errc::result_out_of_range) {
    if (!TooSmallForDouble(text, result.ptr)) return false;
    v = 0.0;
  } else if (result.ec != std::errc() || !std::isfinite(v)) {
    return false;
  }
  out = v;
  return true;
}

}  // namespace

PlugVst2::PlugVst2(const PlugConfig& config, VstHostCallback hostCallback) : PlugBase(config) {
  hostInitDone_ = false;
  midiEvents_ = true;
  extensionBits_ = 0;
  hostCallback_ = hostCallback;

  std::memset(&effect_, 0, sizeof effect_);
  effect_.magic = kEffectMagic;
  effect_.dispatcher = Dispatcher;
  effect_.process = ProcessAccumulating;
  effect_.setParameter = SetParameter;
  effect_.getParameter = GetParameter;
  effect_.numPrograms = PresetCount() > 0 ? PresetCount() : 1;
  effect_.numParams = ParamCount();
  effect_.numInputs = InputCount();
  effect_.numOutputs = OutputCount();
  effect_.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (LegalIO(1, -1)) effect_.flags |= effFlagsCanMono;
  effect_.flags |= effFlagsIsSynth;
  effect_.initialDelay = Latency();
  effect_.ioRatio = 1.0f;
  effect_.object = this;
  effect_.uniqueID = UniqueId();
  const int32_t packed = PackedVersion();
  effect_.version = (packed >> 16) * 10000 + ((packed >> 8) & 0xFF) * 100 + (packed & 0xFF);
  effect_.processReplacing = ProcessReplacing;
  effect_.processDoubleReplacing = ProcessDoubleReplacing;

  editorRect_ = {};
  UpdateArrangements();
  for (int32_t i = 0; i < effect_.numInputs; ++i) ConnectInput(i, true);
  for (int32_t i = 0; i < effect_.numOutputs; ++i) ConnectOutput(i, true);
  SetMaxBlockSize(1024);
}

PlugVst2::~PlugVst2() = default;

PlugVst2* PlugVst2::FromEffect(VstEffect* effect) {
  if (!effect || effect->magic != kEffectMagic) return nullptr;
  return static_cast<PlugVst2*>(effect->object);
}

void PlugVst2::UpdateArrangements() {
  inputArrangement_.numChannels = InputCount();
  inputArrangement_.type = ArrangementType(InputCount());
  outputArrangement_.numChannels = OutputCount();
  outputArrangement_.type = ArrangementType(OutputCount());
}

intptr_t PlugVst2::CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  // Until the host has called us it has no effect pointer to match calls
  // to; it reads every value after creation anyway.
  if (!hostCallback_ || !hostHasEffect_) return 0;
  return hostCallback_(&effect_, opcode, index, value, ptr, opt);
}

// --- Dispatcher ----------------------------------------------------------

intptr_t PlugVst2::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  intptr_t result = 0;
  {
    LockHold hold(InstanceLock());
    hostHasEffect_ = true;
    result = DispatchLocked(opcode, index, value, ptr, opt);
  }
  // effEditIdle comes from the host's UI thread by definition, even in a
  // host that renders on that thread too.
  if (opcode == effEditIdle && !InstanceLock().HeldByCaller()) {
    RunDeferredWork();
  } else {
    RunDeferredWorkOffAudioThread();
  }
  return result;
}

intptr_t PlugVst2::DispatchLocked(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen:
      HostQuirksInit();
      for (int32_t i = 0; i < ParamCount(); ++i) ParamChanged(i);
      return 0;
    case effSetProgram:
      if (!SkipCapture()) ModifyCurrentPreset(nullptr);
      LoadPresetSlot(int32_t(value));
      return 0;
    case effGetProgram:
      return CurrentPresetIndex();
    case effSetProgramName:
      if (ptr) {
        char name[kVstMaxProgNameLen + 1];
        CopyTextBounded(name, sizeof name, static_cast<const char*>(ptr));
        ModifyCurrentPreset(name);
        PresetsModified();
      }
      return 0;
    case effGetProgramName:
      CopyOut(ptr, kVstMaxProgNameLen + 1, PresetSlotName(CurrentPresetIndex()));
      return 0;
    case effGetParamLabel:
      if (ValidParam(index) && ptr) CopyOut(ptr, PlugParam::kTextCapacity, ParamAt(index)->UnitLabelForHost());
      return 0;
    case effGetParamDisplay:
      if (ValidParam(index) && ptr)
        ParamAt(index)->DisplayTextForHost(ParamAt(index)->Value(), false, static_cast<char*>(ptr), true);
      return 0;
    case effGetParamName:
      if (ValidParam(index) && ptr) CopyOut(ptr, PlugParam::kTextCapacity, ParamAt(index)->Name());
      return 0;
    case effSetSampleRate:
      // A rate of zero or less would make every time constant infinite.
      if (std::isfinite(opt) && opt > 0.0f) SetSampleRate(opt);
      ResetProcessing();
      return 0;
    case effSetBlockSize:
      SetMaxBlockSize(value > 0 && value <= INT32_MAX ? int32_t(value) : 0);
      ResetProcessing();
      return 0;
    case effMainsChanged:
      if (value) {
        Activated(true);
      } else {
        Activated(false);
        ResetProcessing();
      }
      return 0;
    case effEditGetRect:
      if (ptr && GetEditorLink()) {
        *static_cast<ERect**>(ptr) = &editorRect_;
        return 1;
      }
      return 0;
    case effEditOpen:
      if (GetEditorLink() && GetEditorLink()->OpenEditorWindow(ptr)) {
        EditorOpened();
        return 1;
      }
      return 0;
    case effEditClose:
      if (!GetEditorLink()) return 0;
      EditorClosed();
      GetEditorLink()->CloseEditorWindow();
      return 1;
    case effEditIdle:
      SendDeferredAutomation();
      if (GetEditorLink()) GetEditorLink()->Idle();
      return 0;
    case effIdentify:
      return FourCharCode("NvEf");
    case effGetChunk:
      return GetChunk(index, ptr);
    case effSetChunk:
      return SetChunk(index, value, ptr);
    case effProcessEvents: {
      const auto* events = static_cast<const VstEvents*>(ptr);
      if (!events) return 0;
      // The record declares two entries but really holds numEvents of them:
      // index through a pointer, not the declared array.
      VstEvent* const* list = events->events;
      for (int32_t i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (!event) continue;
        // Records are told apart by type alone: hosts fill byteSize in
        // different ways (some leave it 0), and each type's fields are read
        // from its own fixed layout.
        if (event->type == kVstMidiType) {
          const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
          MidiMsg msg;
          msg.offset = midi->deltaFrames;
          msg.status = uint8_t(midi->midiData[0]);
          msg.data1 = uint8_t(midi->midiData[1]);
          msg.data2 = uint8_t(midi->midiData[2]);
          HandleMidiMessage(msg);
        } else if (event->type == kVstSysExType && event->byteSize >= int32_t(sizeof(VstMidiSysexEvent))) {
          // A sysex record is longer than the MIDI record that every host
          // allocates at least; a short one claiming this type is not read.
          const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
          SysExMsg msg;
          msg.offset = sysex->deltaFrames;
          msg.size = sysex->dumpBytes;
          msg.data = reinterpret_cast<const uint8_t*>(sysex->sysexDump);
          HandleSysExMessage(msg);
        }
      }
      return 1;
    }
    case effCanBeAutomated:
      return 1;
    case effString2Parameter:
      return StringToParameter(index, static_cast<const char*>(ptr));
    case effGetProgramNameIndexed:
      if (!ptr) return 0;
      CopyOut(ptr, kVstMaxProgNameLen + 1, PresetSlotName(index));
      return static_cast<const char*>(ptr)[0] ? 1 : 0;
    case effGetInputProperties:
      return PinProperties(true, index, static_cast<VstPinProperties*>(ptr));
    case effGetOutputProperties:
      return PinProperties(false, index, static_cast<VstPinProperties*>(ptr));
    case effGetPlugCategory:
      return IsInstrument() ? kPlugCategSynth : kPlugCategEffect;
    case effProcessVarIo:
      return 0;
    case effSetSpeakerArrangement:
      SetArrangementConnections(true, reinterpret_cast<const VstSpeakerArrangement*>(value));
      SetArrangementConnections(false, static_cast<const VstSpeakerArrangement*>(ptr));
      return 1;
    case effGetEffectName:
      if (!ptr) return 0;
      CopyOut(ptr, kVstMaxEffectNameLen, EffectName());
      return 1;
    case effGetVendorString:
      if (!ptr) return 0;
      CopyOut(ptr, kVstMaxVendorStrLen, MakerName());
      return 1;
    case effGetProductString:
      if (!ptr) return 0;
      CopyOut(ptr, kVstMaxProductStrLen, ProductName());
      return 1;
    case effVendorSpecific:
      return VendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return CanDo(static_cast<const char*>(ptr));
    case effIdle:
      return 0;
    case effGetVstVersion:
      return kVstVersion;
    case effGetMidiKeyName: {
      auto* key = static_cast<MidiKeyName*>(ptr);
      if (!key) return 0;
      key->keyName[0] = 0;
      return MidiNoteText(key->thisKeyNumber, key->keyName) ? 1 : 0;
    }
    case effGetSpeakerArrangement:
      if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &inputArrangement_;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &outputArrangement_;
      return 1;
    default:
      return 0;
  }
}

intptr_t PlugVst2::GetChunk(int32_t index, void* ptr) {
  if (!ptr) return 0;
  StateChunk& chunk = index ? programChunk_ : bankChunk_;
  bool ok = chunk.WriteHeader();
  if (index) {
    ok = WriteState(chunk) && ok;
  } else {
    ModifyCurrentPreset(nullptr);
    ok = SerializePresets(chunk) && ok;
  }
  if (!ok || chunk.Size() == 0) return 0;
  *static_cast<void**>(ptr) = chunk.Data();
  return chunk.Size();
}

intptr_t PlugVst2::SetChunk(int32_t index, intptr_t size, const void* data) {
  if (!data || size < 0 || size > kMaxChunkBytes) return 0;
  StateChunk& chunk = index ? programChunk_ : bankChunk_;
  // Copy first: the host may hand back the very buffer we lent it.
  StateChunk incoming;
  if (!incoming.AppendBytes(data, int32_t(size))) return 0;
  chunk.Clear();
  if (!chunk.AppendBytes(incoming.Data(), incoming.Size())) return 0;
  int32_t pos = 0;
  const int32_t version = chunk.ChunkVersion(pos);
  if (index != 0 || version < StateChunk::kVersion) {
    pos = ReadState(chunk, pos);
    ModifyCurrentPreset(nullptr);
  } else {
    pos = UnserializePresets(chunk, pos);
  }
  if (pos < 0) return 0;
  RefreshParamControls();
  return 1;
}

intptr_t PlugVst2::StringToParameter(int32_t index, const char* text) {
  if (!ValidParam(index)) return 0;
  if (!text) return 1;
  PlugParam* param = ParamAt(index);
  double v = 0.0;
  if (param->DisplayTextCount() > 0) {
    const DisplayText* entry = param->FindDisplayTextByText(text);
    if (!entry) return 0;
    v = entry->value;
  } else {
    // Neither a listed text nor a number: change nothing.
    if (!ParseNumber(text, v)) return 0;
    if (param->NegateDisplay()) v = -v;
  }
  if (v == 0.0) v = 0.0;  // "-0" is stored as +0
  ParamFromHostText(index, v);
  return 1;
}

intptr_t PlugVst2::PinProperties(bool input, int32_t index, VstPinProperties* pin) {
  const int32_t count = input ? InputCount() : OutputCount();
  if (!pin || index < 0 || index >= count) return 0;
  pin->flags = kVstPinIsActive;
  if (index % 2 == 0) pin->flags = index + 1 < count ? (kVstPinIsActive | kVstPinIsStereo) : kVstPinIsActive;
  const TextBuf& label = input ? Input(index)->label : Output(index)->label;
  if (!label.Empty()) {
    CopyTextBounded(pin->label, sizeof pin->label, label.Get());
  } else {
    std::snprintf(pin->label, sizeof pin->label, input ? "Input %d" : "Output %d", index + 1);
  }
  return 1;
}

intptr_t PlugVst2::CanDo(const char* text) {
  if (!text) return 0;
  if (std::strcmp(text, "receiveVstTimeInfo") == 0) return 1;
  if (std::strcmp(text, "sendVstEvents") == 0 || std::strcmp(text, "sendVstMidiEvent") == 0 ||
      std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0)
    return midiEvents_ ? 1 : 0;
  if (std::strcmp(text, "hasCockosExtensions") == 0) {
    extensionBits_ |= 1;
    return kCockosExtensionAnswer;
  }
  if (std::strcmp(text, "hasCockosViewAsConfig") == 0) {
    extensionBits_ |= 2;
    return kCockosExtensionAnswer;
  }
  return 0;
}

intptr_t PlugVst2::VendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) {
  if (index == kVendorParamDisplayText && ptr) {
    if (value >= 0 && value < ParamCount())
      ParamAt(int32_t(value))->DisplayTextForHost(opt, true, static_cast<char*>(ptr), true);
    return kVendorCallAnswer;
  }
  if (index == kVendorParamIsStepped && value >= 0 && value < ParamCount() &&
      ParamAt(int32_t(value))->Kind() != ParamKind::Double)
    return kVendorCallAnswer;
  return 0;
}

void PlugVst2::SetArrangementConnections(bool input, const VstSpeakerArrangement* arrangement) {
  if (!arrangement) return;
  const int32_t count = input ? InputCount() : OutputCount();
  for (int32_t i = 0; i < count; ++i) {
    const bool connected = i < arrangement->numChannels;
    if (input) {
      ConnectInput(i, connected);
    } else {
      ConnectOutput(i, connected);
    }
  }
}

// --- Audio and parameter callbacks ------------------------------------

void PlugVst2::EnterAudioCallback() {
  if (midiEvents_) CallHost(audioMasterWantMidi);
}

template <class RenderPiece>
void PlugVst2::RenderInPieces(int32_t frames, RenderPiece renderPiece) {
  LockHold hold(InstanceLock());
  hostHasEffect_ = true;
  audioThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  DenormalGuard denormals;
  EnterAudioCallback();
  SendDeferredAutomation();
  if (frames < 0) return;
  // Blocks longer than announced are rendered in pieces the scratch holds;
  // a block of 0 frames still reaches the renderer once.
  int32_t done = 0;
  do {
    const int32_t piece = BlockSize() > 0 && frames - done > BlockSize() ? BlockSize() : frames - done;
    renderPiece(done, piece);
    done += piece;
  } while (done < frames);
}

void PlugVst2::ProcessSingle(float** inputs, float** outputs, int32_t frames, bool accumulate) {
  RenderInPieces(frames, [&](int32_t offset, int32_t piece) {
    AttachSingleBuffers(inputs, outputs, offset, piece);
    RenderBlock(InputPointers(), OutputPointers(), piece);
    ReturnSingleBuffers(piece, accumulate);
  });
}

void PlugVst2::ProcessDouble(double** inputs, double** outputs, int32_t frames) {
  RenderInPieces(frames, [&](int32_t offset, int32_t piece) {
    AttachDoubleBuffers(inputs, outputs, offset);
    RenderBlock(InputPointers(), OutputPointers(), piece);
  });
}

void PlugVst2::SetParameterFromHost(int32_t index, float value) {
  {
    LockHold hold(InstanceLock());
    hostHasEffect_ = true;
    if (!ParamFromHost(index, value)) return;
  }
  RunDeferredWorkOffAudioThread();
}

float PlugVst2::ParameterForHost(int32_t index) {
  LockHold hold(InstanceLock());
  hostHasEffect_ = true;
  const PlugParam* param = ParamAt(index);
  return param ? float(param->NormalizedValue()) : 0.0f;
}

void PlugVst2::RunDeferredWorkOffAudioThread() {
  if (InstanceLock().HeldByCaller()) return;
  if (audioThread_.load(std::memory_order_relaxed) == std::this_thread::get_id()) return;
  RunDeferredWork();
}

// --- Host requests -------------------------------------------------------

void PlugVst2::HostEditBegin(int32_t index) { CallHost(audioMasterBeginEdit, index); }

void PlugVst2::HostAutomate(int32_t index, double normalized) {
  CallHost(audioMasterAutomate, index, 0, nullptr, float(normalized));
}

void PlugVst2::HostEditEnd(int32_t index) { CallHost(audioMasterEndEdit, index); }

void PlugVst2::HostProgramChanged() { CallHost(audioMasterUpdateDisplay); }

bool PlugVst2::HostRendersOffline() { return CallHost(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline; }

const VstTimeInfo* PlugVst2::HostTime(int32_t flags) {
  return reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, flags));
}

int32_t PlugVst2::HostSamplePosition() {
  const VstTimeInfo* time = HostTime(0);
  if (!time || !(time->samplePos >= 0.0) || time->samplePos >= 2147483647.0) return 0;
  return int32_t(time->samplePos + 0.5);
}

double PlugVst2::HostTempo() {
  const VstTimeInfo* time = HostTime(kVstTempoValid);
  if (time && (time->flags & kVstTempoValid) && time->tempo >= 0.0) return time->tempo;
  return 0.0;
}

void PlugVst2::HostTimeSignature(int32_t& numerator, int32_t& denominator) {
  numerator = 0;
  denominator = 0;
  const VstTimeInfo* time = HostTime(kVstTimeSigValid);
  if (time && (time->flags & kVstTimeSigValid) && time->timeSigNumerator >= 0 && time->timeSigDenominator >= 0) {
    numerator = time->timeSigNumerator;
    denominator = time->timeSigDenominator;
  }
}

void PlugVst2::HostTimeInfo(TimeInfo& info) {
  constexpr int32_t kWanted = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  const VstTimeInfo* time = HostTime(kWanted);
  if (!time || !(time->flags & kWanted)) return;
  info.samplePosition = time->samplePos;
  if ((time->flags & kVstPpqPosValid) && time->ppqPos >= 0.0) info.ppqPosition = time->ppqPos;
  if ((time->flags & kVstTempoValid) && time->tempo > 0.0) info.tempo = time->tempo;
  if ((time->flags & kVstBarsValid) && time->barStartPos >= 0.0) info.lastBarStart = time->barStartPos;
  if ((time->flags & kVstCyclePosValid) && time->cycleStartPos >= 0.0 && time->cycleEndPos >= 0.0) {
    info.cycleStart = time->cycleStartPos;
    info.cycleEnd = time->cycleEndPos;
  }
  if ((time->flags & kVstTimeSigValid) && time->timeSigNumerator > 0 && time->timeSigDenominator > 0) {
    info.timeSigNumerator = time->timeSigNumerator;
    info.timeSigDenominator = time->timeSigDenominator;
  }
  info.transportRunning = (time->flags & kVstTransportPlaying) != 0;
  info.cycleActive = (time->flags & kVstTransportCycleActive) != 0;
}

int32_t PlugVst2::PackVendorVersion(intptr_t v) {
  if (v < 0) v = 0;
  const intptr_t major = v / 10000;
  const intptr_t minor = (v % 10000) / 100;
  const intptr_t patch = v % 100;
  return int32_t(((major & 0xFFFF) << 16) | (minor << 8) | patch);
}

HostId PlugVst2::DetectHost(const char* productText) {
  // Tried in this order; the first substring found decides. An id is what
  // the instance keeps and the code compares: never renumber one.
  static const struct {
    const char* text;
    HostId id;
  } kHosts[] = {
      {"cubase", 3},
      {"reaper", 1},
      {"nuendo", 4},
      {"cakewalk", 5},
      {"samplitude", 8},
      {"fruity", 7},
      {"live", 9},
      {"melodyne", 12},
      {"vstmanlib", 13},
      {"aulab", 14},
      {"garageband", 22},
      {"forte", kHostForte},
      {"chainer", 16},
      {"audition", kHostAudition},
      {"orion", kHostOrion},
      {"sawstudio", kHostSawStudio},
      {"logic", 21},
      {"digital", 23},
      {"audiomulch", 25},
      {"presonus", 26},
      {"vst3plugintesthost", 27},
      {"protools", 2},
      {"ardour", 28},
      {"standalone", 24},
  };
  char lower[256];
  size_t n = 0;
  for (; productText && productText[n] && n + 1 < sizeof lower; ++n)
    lower[n] = char(std::tolower(static_cast<unsigned char>(productText[n])));
  lower[n] = 0;
  for (const auto& host : kHosts)
    if (std::strstr(lower, host.text)) return host.id;
  return 0;
}

HostId PlugVst2::HostKind() {
  if (PlugBase::HostKind() != -1) return PlugBase::HostKind();
  char product[256];
  product[0] = 0;
  CallHost(audioMasterGetProductString, 0, 0, product);
  product[sizeof product - 1] = 0;
  int32_t version = 0;
  if (product[0]) version = PackVendorVersion(CallHost(audioMasterGetVendorVersion));
  const HostId id = DetectHost(product);
  SetHostIdentity(id, version);
  return id;
}

void PlugVst2::HostQuirksInit() {
  if (hostInitDone_) return;
  hostInitDone_ = true;
  const HostId id = HostKind();
  // A fixed layout for these hosts rather than one negotiated through
  // speaker arrangements: the first input pair only, every output connected.
  if (id == kHostForte || id == kHostAudition || id == kHostOrion || id == kHostSawStudio) {
    for (int32_t i = 2; i < InputCount(); ++i) ConnectInput(i, false);
    if (OutputCount() >= 3)
      for (int32_t i = 2; i < OutputCount(); ++i) ConnectOutput(i, true);
  }
  inputArrangement_.numChannels = InputCount();
  effect_.numInputs = InputCount();
  outputArrangement_.numChannels = OutputCount();
  effect_.numOutputs = OutputCount();
  HostIdentified();
}

void PlugVst2::ResizeEditor(int32_t, int32_t) {
  EditorLink* editor = GetEditorLink();
  if (!editor) return;
  editorRect_ = {0, 0, int16_t(editor->Height()), int16_t(editor->Width())};
  EditorResized();
}

void PlugVst2::SetEditor(EditorLink* editor) {
  LockHold hold(InstanceLock());
  PlugBase::SetEditor(editor);
  if (!editor) return;
  effect_.flags |= effFlagsHasEditor;
  editorRect_ = {0, 0, int16_t(editor->Height()), int16_t(editor->Width())};
}

void PlugVst2::SetReportedLatency(int32_t frames) {
  PlugBase::SetReportedLatency(frames);
  effect_.initialDelay = frames;
}

bool PlugVst2::SendEventToHost(VstEvent* event) {
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = event;
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool PlugVst2::SendMidiToHost(const MidiMsg& msg) {
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = msg.offset;
  event.midiData[0] = char(msg.status);
  event.midiData[1] = char(msg.data1);
  event.midiData[2] = char(msg.data2);
  return SendEventToHost(reinterpret_cast<VstEvent*>(&event));
}

bool PlugVst2::SendSysExToHost(const SysExMsg& sysex) {
  VstMidiSysexEvent event{};
  event.type = kVstSysExType;
  event.byteSize = sizeof(VstMidiSysexEvent);
  event.deltaFrames = sysex.offset;
  event.dumpBytes = sysex.size;
  event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(sysex.data));
  return SendEventToHost(reinterpret_cast<VstEvent*>(&event));
}

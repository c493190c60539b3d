#pragma once
#include <cstdint>
#include <vector>

#include "platform/Lock.h"
#include "plugin/EditorLink.h"
#include "plugin/MidiQueue.h"
#include "plugin/PlugParam.h"
#include "plugin/StateChunk.h"
#include "base/FourCharCode.h"
#include "base/PtrList.h"
#include "base/TextBuf.h"

struct ChannelIO {
  int32_t inputs = 0;
  int32_t outputs = 0;
};

struct InChannel {
  bool connected = false;
  double** slot = nullptr;  // this channel's entry in the input pointer array
  GrowBuf scratch{4096};
  TextBuf label;
};

struct OutChannel {
  bool connected = false;
  double** slot = nullptr;
  float* floatDestination = nullptr;
  GrowBuf scratch{4096};
  TextBuf label;
};

struct PresetSlot {
  bool initialised = false;
  TextBuf name;
  StateChunk state;
};

struct TimeInfo {
  double tempo = 0.0;
  double samplePosition = 0.0;
  double ppqPosition = 0.0;
  double lastBarStart = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  int32_t timeSigNumerator = 0;
  int32_t timeSigDenominator = 0;
  bool transportRunning = false;
  bool cycleActive = false;
};

using HostId = int32_t;

// What an instrument tells the framework about itself at construction.
struct PlugConfig {
  int32_t paramCount = 0;
  const char* channelSpec = "";
  int32_t presetCount = 0;
  const char* effectName = "";
  const char* productName = "";
  const char* makerName = "";
  int32_t version = 0;  // 0xMMMMmmbb
  int32_t uniqueId = 0;
  int32_t makerId = 0;
  bool isInstrument = false;
  // Preset files hold one line per parameter from index 0, by position: the
  // first presetSavedParams are written, the first presetLoadedParams read.
  int32_t presetSavedParams = 0;
  int32_t presetLoadedParams = 0;
};

// The interface-neutral plug-in: parameters, presets and state chunks,
// channels, configuration and the instance lock. Every host call holds the
// lock for its whole duration; the lock is recursive, so the instrument's
// hooks may take it again.
class PlugBase {
public:
  static constexpr int kNameCapacity = 128;
  static constexpr int32_t kMaxBlockSize = 65536;

  explicit PlugBase(const PlugConfig& config);

  // Virtual operations, in the framework's documented order; the reserved
  // hooks are empty and keep their slots (named by number) so every
  // operation keeps its place. Nothing relies on the layout at run time:
  // add new operations at the end.
  virtual ~PlugBase();
  virtual void ResetProcessing();
  virtual void ParamChanged(int32_t index);
  virtual void RenderBlock(double** inputs, double** outputs, int32_t frames);
  virtual void RenderBlockSingle(float** inputs, float** outputs, int32_t frames);
  virtual void EditorOpened() {}
  virtual void EditorClosed() {}
  virtual void ReservedHook7() {}
  virtual void Activated(bool active);
  virtual void HandleMidiMessage(const MidiMsg& msg);
  virtual void HandleSysExMessage(const SysExMsg&) {}
  virtual bool MidiNoteText(int32_t note, char* text);
  virtual bool WriteState(StateChunk& chunk);
  virtual int32_t ReadState(const StateChunk& chunk, int32_t pos);
  // Whether stored values (data[start..]) equal the current ones as a host's
  // floats see them, for an instrument that marks a changed preset; the
  // framework itself never asks.
  virtual bool StateMatches(const double* data, int32_t start);
  virtual void EditorResized() {}
  virtual bool ReservedQuery16() { return false; }
  virtual void HostIdentified() {}
  virtual void ReservedHook18() {}
  virtual void ParamFromEditor(int32_t index, double normalized);
  virtual void HostEditBegin(int32_t index) = 0;
  virtual void HostAutomate(int32_t index, double normalized) = 0;
  virtual void HostEditEnd(int32_t index) = 0;
  virtual void HostProgramChanged() = 0;
  virtual bool HostRendersOffline() { return false; }
  virtual int32_t HostSamplePosition() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSignature(int32_t& numerator, int32_t& denominator) = 0;
  virtual void HostTimeInfo(TimeInfo& info) = 0;
  virtual HostId HostKind() { return hostId_; }
  virtual int32_t PluginApiKind() { return apiKind_; }
  virtual void ResizeEditor(int32_t width, int32_t height) = 0;
  virtual void HostQuirksInit() {}
  virtual void SetEditor(EditorLink* editor);
  virtual void SetReportedLatency(int32_t frames) { latency_ = frames; }
  virtual bool SendMidiToHost(const MidiMsg& msg) = 0;
  virtual bool SendSysExToHost(const SysExMsg&) { return false; }
  virtual void RefreshParamControls();
  virtual void ReservedHook38() {}
  virtual void PresetsModified() {}
  virtual void SetMaxBlockSize(int32_t frames);
  // Work recorded under the lock that must not run under it nor on the
  // audio thread (reading files). The adapter calls it after releasing the
  // lock, from a thread that is not rendering.
  virtual void RunDeferredWork() {}

  // Parameters.
  // Each way a change reaches the instrument from outside, beside the
  // editor's ParamFromEditor above; PlugBase.cpp keeps them together and says
  // how their steps differ. Invalid indices change nothing (false).
  bool ParamFromHost(int32_t index, double normalized);
  bool ParamFromHostText(int32_t index, double natural);
  bool ParamFromController(int32_t index, double normalized);
  bool ParamFromPreset(int32_t index, double normalized);
  bool ParamFromPort(int32_t index, double natural);
  // The host learns index's current value on the next audio or idle call:
  // telling it from inside its own setParameter call could loop.
  void HostAutomateLater(int32_t index);
  void SendDeferredAutomation();
  int32_t ParamCount() const { return params_.Count(); }
  PlugParam* ParamAt(int32_t i) const { return params_.Get(i); }
  bool ValidParam(int32_t i) const { return i >= 0 && i < ParamCount(); }

  // State.
  bool SerializeParams(StateChunk& chunk);
  int32_t UnserializeParams(const StateChunk& chunk, int32_t pos);
  bool SerializePresets(StateChunk& chunk);
  int32_t UnserializePresets(const StateChunk& chunk, int32_t pos);
  void ModifyCurrentPreset(const char* name = nullptr);
  bool LoadPresetSlot(int32_t index);
  const char* PresetSlotName(int32_t index) const;
  void FillEmptyPresets(int32_t count);
  int32_t PresetCount() const { return presets_.Count(); }
  int32_t CurrentPresetIndex() const { return currentPreset_; }
  int32_t PresetSavedParams() const { return presetSavedParams_; }
  int32_t PresetLoadedParams() const { return presetLoadedParams_; }

  // Channels.
  bool LegalIO(int32_t inputs, int32_t outputs) const;
  int32_t InputCount() const { return inputs_.Count(); }
  int32_t OutputCount() const { return outputs_.Count(); }
  InChannel* Input(int32_t i) const { return inputs_.Get(i); }
  OutChannel* Output(int32_t i) const { return outputs_.Get(i); }
  bool InputConnected(int32_t i) const { return Input(i) && Input(i)->connected; }
  bool OutputConnected(int32_t i) const { return Output(i) && Output(i)->connected; }
  void ConnectInput(int32_t i, bool connected);
  void ConnectOutput(int32_t i, bool connected);
  double** InputPointers() { return inputs_.Count() ? inputPointers_.As<double*>() : nullptr; }
  double** OutputPointers() { return outputs_.Count() ? outputPointers_.As<double*>() : nullptr; }
  int32_t ChannelIOCount() const { return channelIO_.Count(); }
  const ChannelIO* ChannelIOAt(int32_t i) const { return channelIO_.Get(i); }

  // Host buffers for one block of at most BlockSize() frames, starting
  // offset frames into the host's arrays.
  void AttachSingleBuffers(float** inputs, float** outputs, int32_t offset, int32_t frames);
  void ReturnSingleBuffers(int32_t frames, bool accumulate);
  void AttachDoubleBuffers(double** inputs, double** outputs, int32_t offset);

  // Configuration.
  double SampleRate() const { return sampleRate_; }
  void SetSampleRate(double rate) { sampleRate_ = rate; }
  int32_t BlockSize() const { return blockSize_; }
  int32_t Latency() const { return latency_; }
  const char* EffectName() const { return effectName_; }
  const char* ProductName() const { return productName_; }
  const char* MakerName() const { return makerName_; }
  int32_t PackedVersion() const { return version_; }
  int32_t UniqueId() const { return uniqueId_; }
  int32_t MakerId() const { return makerId_; }
  bool IsInstrument() const { return isInstrument_; }
  bool SkipCapture() const { return skipCapture_; }

  // The editor as the layers above the framework know it; null without one.
  Editor* GetEditor() const { return editor_ ? editor_->FullEditor() : nullptr; }
  EditorLink* GetEditorLink() const { return editor_; }
  RecursiveLock& InstanceLock() { return lock_; }

protected:
  void SetHostIdentity(HostId id, int32_t packedVersion) {
    hostId_ = id;
    hostVersion_ = packedVersion;
  }
  int32_t HostVersion() const { return hostVersion_; }
  void SetApiKind(int32_t kind) { apiKind_ = kind; }

private:
  void ParseChannelSpec(const char* spec);
  void CreateChannels(int32_t inputCount, int32_t outputCount);

  RecursiveLock lock_;
  PtrList<ChannelIO> channelIO_;
  char effectName_[kNameCapacity] = {};
  char productName_[kNameCapacity] = {};
  char makerName_[kNameCapacity] = {};
  int32_t version_ = 0;
  int32_t uniqueId_ = 0;
  int32_t makerId_ = 0;
  int32_t apiKind_ = 0;
  HostId hostId_ = -1;
  int32_t hostVersion_ = 0;
  bool skipCapture_ = false;
  bool isInstrument_ = false;
  int32_t currentPreset_ = 0;
  int32_t presetSavedParams_ = 0;
  int32_t presetLoadedParams_ = 0;
  double sampleRate_ = 44100.0;
  int32_t blockSize_ = 0;
  int32_t latency_ = 0;
  EditorLink* editor_ = nullptr;
  PtrList<PlugParam> params_;
  std::vector<uint8_t> automateLater_;  // one flag per parameter, sized once
  bool automationPending_ = false;      // any of them set
  PtrList<PresetSlot> presets_;
  PtrList<InChannel> inputs_;
  PtrList<OutChannel> outputs_;
  GrowBuf inputPointers_{4096};
  GrowBuf outputPointers_{4096};
};

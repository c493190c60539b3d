#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

#include "plugin/PlugBase.h"
#include "vst2/VstAbi.h"

using vst2::VstHostCallback;

// The VST 2.4 adapter: turns the effect record, the dispatcher and the
// audio and parameter callbacks into calls on the framework.
class PlugVst2 : public PlugBase {
public:
  PlugVst2(const PlugConfig& config, VstHostCallback hostCallback);
  ~PlugVst2() override;

  vst2::VstEffect* Effect() { return &effect_; }
  static PlugVst2* FromEffect(vst2::VstEffect* effect);

  intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  void ProcessSingle(float** inputs, float** outputs, int32_t frames, bool accumulate);
  void ProcessDouble(double** inputs, double** outputs, int32_t frames);
  void SetParameterFromHost(int32_t index, float value);
  float ParameterForHost(int32_t index);

  void HostEditBegin(int32_t index) override;
  void HostAutomate(int32_t index, double normalized) override;
  void HostEditEnd(int32_t index) override;
  void HostProgramChanged() override;
  bool HostRendersOffline() override;
  int32_t HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int32_t& numerator, int32_t& denominator) override;
  void HostTimeInfo(TimeInfo& info) override;
  HostId HostKind() override;
  void ResizeEditor(int32_t width, int32_t height) override;
  void HostQuirksInit() override;
  void SetEditor(EditorLink* editor) override;
  void SetReportedLatency(int32_t frames) override;
  bool SendMidiToHost(const MidiMsg& msg) override;
  bool SendSysExToHost(const SysExMsg& sysex) override;

  static HostId DetectHost(const char* productText);
  static int32_t PackVendorVersion(intptr_t decimalVersion);

  const vst2::ERect& EditorRect() const { return editorRect_; }
  int32_t ExtensionBits() const { return extensionBits_; }

private:
  intptr_t DispatchLocked(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  // File reads and the like: never under the lock, never on the thread
  // that renders audio (they wait there for effEditIdle or another call).
  void RunDeferredWorkOffAudioThread();
  intptr_t CallHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
  const vst2::VstTimeInfo* HostTime(int32_t flags);
  intptr_t GetChunk(int32_t index, void* ptr);
  intptr_t SetChunk(int32_t index, intptr_t size, const void* data);
  intptr_t StringToParameter(int32_t index, const char* text);
  intptr_t PinProperties(bool input, int32_t index, vst2::VstPinProperties* pin);
  intptr_t CanDo(const char* text);
  intptr_t VendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
  void SetArrangementConnections(bool input, const vst2::VstSpeakerArrangement* arrangement);
  void UpdateArrangements();
  void EnterAudioCallback();
  // The audio callbacks' frame: lock, denormal guard, MIDI request, pieces.
  template <class RenderPiece>
  void RenderInPieces(int32_t frames, RenderPiece renderPiece);
  bool SendEventToHost(vst2::VstEvent* event);

  vst2::ERect editorRect_{};
  VstHostCallback hostCallback_ = nullptr;
  vst2::VstSpeakerArrangement inputArrangement_{};
  vst2::VstSpeakerArrangement outputArrangement_{};
  bool hostInitDone_ = false;
  bool hostHasEffect_ = false;                  // set by the host's first call into the effect
  std::atomic<std::thread::id> audioThread_{};  // the last thread that rendered
  bool midiEvents_ = true;
  int32_t extensionBits_ = 0;
  StateChunk programChunk_;
  StateChunk bankChunk_;
  vst2::VstEffect effect_{};
};

// The host side of the VST2 callback: what a plug-in may ask its host, and
// a record of what it told the host (automation, MIDI out, display updates).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "vst2/VstAbi.h"

namespace thudra::host {

constexpr int32_t kHostVendorVersion = 1000;
inline constexpr const char* kHostProductString = "thudra-host";
inline constexpr const char* kHostVendorString = "Tarvolin Instruments";
constexpr double kHostTempo = 120.0;

enum class ParamEditKind { Automate, BeginEdit, EndEdit };

struct ParamEdit {
  ParamEditKind kind;
  int32_t index;
  float value;  // only meaningful for Automate
};

// One session serves one plug-in instance. Attached records are registered
// so that the static callback can find the session that owns a record; calls
// made while the entry point runs (no record yet) go to the session
// that is creating an instance on the calling thread.
class HostSession {
public:
  HostSession(double sampleRate, int32_t blockSize, int32_t processLevel);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  static intptr_t callback(vst2::VstEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                           float opt);

  // Ties an effect record to this session (null detaches).
  void attach(vst2::VstEffect* effect);

  // Marks this session as the one creating an instance on this thread.
  class CreationScope {
  public:
    explicit CreationScope(HostSession& session);
    ~CreationScope();
    CreationScope(const CreationScope&) = delete;
    CreationScope& operator=(const CreationScope&) = delete;

  private:
    HostSession* previous_;
  };

  double sampleRate() const { return sampleRate_; }
  int32_t blockSize() const { return blockSize_; }
  int32_t processLevel() const { return processLevel_; }
  void setProcessLevel(int32_t level) { processLevel_ = level; }

  // Moves the transport to a sample position; tempo and metre stay fixed.
  void setSamplePosition(int64_t frames);
  const vst2::VstTimeInfo& timeInfo() const { return timeInfo_; }

  std::vector<ParamEdit> paramEdits() const;
  int64_t midiEventsFromPlugin() const { return midiEventsFromPlugin_; }
  int64_t updateDisplayRequests() const { return updateDisplayRequests_; }
  int64_t ioChangedRequests() const { return ioChangedRequests_; }
  bool pluginWantsMidi() const { return pluginWantsMidi_; }
  int32_t requestedEditorWidth() const { return requestedWidth_; }
  int32_t requestedEditorHeight() const { return requestedHeight_; }

  intptr_t handle(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

private:
  void recordEdit(ParamEditKind kind, int32_t index, float value);
  intptr_t countEventsFromPlugin(const void* ptr);

  double sampleRate_;
  int32_t blockSize_;
  std::atomic<int32_t> processLevel_;
  vst2::VstEffect* effect_ = nullptr;
  vst2::VstTimeInfo timeInfo_{};

  mutable std::mutex editsMutex_;
  std::vector<ParamEdit> edits_;
  std::atomic<int64_t> midiEventsFromPlugin_{0};
  std::atomic<int64_t> updateDisplayRequests_{0};
  std::atomic<int64_t> ioChangedRequests_{0};
  std::atomic<bool> pluginWantsMidi_{false};
  std::atomic<int32_t> requestedWidth_{0};
  std::atomic<int32_t> requestedHeight_{0};
};

// True for the capability texts this host answers 1 to.
bool hostCanDo(const char* text);

}  // namespace thudra::host

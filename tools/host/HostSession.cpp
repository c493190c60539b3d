#include "tools/host/HostSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace thudra::host {

using namespace vst2;

namespace {

std::mutex registryMutex;
std::vector<std::pair<VstEffect*, HostSession*>> attachedEffects;
thread_local HostSession* creatingSession = nullptr;

// A plug-in may send garbage counts; never walk further than this.
constexpr int32_t kMaxEventsPerCall = 1 << 16;

HostSession* sessionForEffect(VstEffect* effect) {
  if (effect) {
    std::lock_guard lock(registryMutex);
    for (auto& [attached, session] : attachedEffects)
      if (attached == effect) return session;
  }
  return creatingSession;
}

// Answers for calls no session claims (a plug-in asking before or after it
// belongs to an instance): fixed host identity, everything else 0.
HostSession& fallbackSession() {
  static HostSession session(48000.0, 256, kVstProcessLevelRealtime);
  return session;
}

intptr_t copyHostString(void* ptr, const char* text) {
  if (!ptr) return 0;
  char* out = static_cast<char*>(ptr);
  std::strncpy(out, text, kVstMaxVendorStrLen - 1);
  out[kVstMaxVendorStrLen - 1] = '\0';
  return 1;
}

}  // namespace

bool hostCanDo(const char* text) {
  if (!text) return false;
  static const char* const supported[] = {"sendVstEvents",       "sendVstMidiEvent", "receiveVstEvents",
                                          "receiveVstMidiEvent", "sendVstTimeInfo",  "sizeWindow"};
  return std::any_of(std::begin(supported), std::end(supported),
                     [text](const char* s) { return std::strcmp(s, text) == 0; });
}

HostSession::HostSession(double sampleRate, int32_t blockSize, int32_t processLevel)
    : sampleRate_(sampleRate), blockSize_(blockSize), processLevel_(processLevel) {
  timeInfo_.sampleRate = sampleRate;
  timeInfo_.tempo = kHostTempo;
  timeInfo_.timeSigNumerator = 4;
  timeInfo_.timeSigDenominator = 4;
  timeInfo_.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
}

HostSession::~HostSession() {
  std::lock_guard lock(registryMutex);
  std::erase_if(attachedEffects, [this](const auto& entry) { return entry.second == this; });
}

void HostSession::attach(VstEffect* effect) {
  std::lock_guard lock(registryMutex);
  std::erase_if(attachedEffects, [this](const auto& entry) { return entry.second == this; });
  effect_ = effect;
  if (effect) attachedEffects.emplace_back(effect, this);
}

HostSession::CreationScope::CreationScope(HostSession& session) : previous_(creatingSession) {
  creatingSession = &session;
}

HostSession::CreationScope::~CreationScope() { creatingSession = previous_; }

void HostSession::setSamplePosition(int64_t frames) {
  timeInfo_.samplePos = static_cast<double>(frames);
  const double quarters = static_cast<double>(frames) / sampleRate_ * timeInfo_.tempo / 60.0;
  timeInfo_.ppqPos = quarters;
  timeInfo_.barStartPos = std::floor(quarters / timeInfo_.timeSigNumerator) * timeInfo_.timeSigNumerator;
}

std::vector<ParamEdit> HostSession::paramEdits() const {
  std::lock_guard lock(editsMutex_);
  return edits_;
}

void HostSession::recordEdit(ParamEditKind kind, int32_t index, float value) {
  std::lock_guard lock(editsMutex_);
  edits_.push_back({kind, index, value});
}

intptr_t HostSession::countEventsFromPlugin(const void* ptr) {
  if (!ptr) return 0;
  const auto* list = static_cast<const VstEvents*>(ptr);
  const int32_t count = std::clamp(list->numEvents, 0, kMaxEventsPerCall);
  // The list's pointer array runs past the declared two entries.
  const auto* slots =
      reinterpret_cast<VstEvent* const*>(reinterpret_cast<const char*>(list) + offsetof(VstEvents, events));
  int64_t received = 0;
  for (int32_t i = 0; i < count; ++i)
    if (slots[i]) ++received;
  midiEventsFromPlugin_ += received;
  return 1;
}

intptr_t HostSession::callback(VstEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  HostSession* session = sessionForEffect(effect);
  return (session ? *session : fallbackSession()).handle(opcode, index, value, ptr, opt);
}

intptr_t HostSession::handle(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  switch (opcode) {
    case audioMasterAutomate:
      recordEdit(ParamEditKind::Automate, index, opt);
      return 0;
    case audioMasterBeginEdit:
      recordEdit(ParamEditKind::BeginEdit, index, 0.0f);
      return 1;
    case audioMasterEndEdit:
      recordEdit(ParamEditKind::EndEdit, index, 0.0f);
      return 1;
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterWantMidi:
      pluginWantsMidi_ = true;
      return 1;
    case audioMasterGetTime:
      return reinterpret_cast<intptr_t>(&timeInfo_);
    case audioMasterProcessEvents:
      return countEventsFromPlugin(ptr);
    case audioMasterIOChanged:
      ++ioChangedRequests_;
      return 1;
    case audioMasterSizeWindow:
      requestedWidth_ = index;
      requestedHeight_ = static_cast<int32_t>(value);
      return 1;
    case audioMasterGetSampleRate:
      return static_cast<intptr_t>(sampleRate_);
    case audioMasterGetBlockSize:
      return blockSize_;
    case audioMasterGetCurrentProcessLevel:
      return processLevel_;
    case audioMasterGetVendorString:
      return copyHostString(ptr, kHostVendorString);
    case audioMasterGetProductString:
      return copyHostString(ptr, kHostProductString);
    case audioMasterGetVendorVersion:
      return kHostVendorVersion;
    case audioMasterCanDo:
      return hostCanDo(static_cast<const char*>(ptr)) ? 1 : 0;
    case audioMasterUpdateDisplay:
      ++updateDisplayRequests_;
      return 1;
    default:
      return 0;
  }
}

}  // namespace thudra::host

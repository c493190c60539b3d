#include "tools/host/HostedPlugin.h"

#include <array>
#include <utility>

namespace thudra::host {

using namespace vst2;

namespace {

// Plug-ins write names with their own idea of the limit; give them room.
constexpr size_t kTextBufferSize = 1024;

std::string checkRecord(const VstEffect* effect) {
  if (!effect) return "entry point returned no effect record";
  if (effect->magic != kEffectMagic) return "entry point returned a record without the 'VstP' magic";
  if (!effect->dispatcher) return "effect record has no dispatcher";
  if (effect->numParams < 0 || effect->numParams > kMaxPluginParams)
    return "effect record declares an impossible parameter count (" + std::to_string(effect->numParams) + ")";
  if (effect->numInputs < 0 || effect->numInputs > kMaxPluginChannels || effect->numOutputs < 0 ||
      effect->numOutputs > kMaxPluginChannels)
    return "effect record declares an impossible channel count (" + std::to_string(effect->numInputs) + " in, " +
           std::to_string(effect->numOutputs) + " out)";
  return {};
}

}  // namespace

PluginCreateResult HostedPlugin::create(std::shared_ptr<LoadedModule> module, HostSession& session) {
  PluginCreateResult result;
  VstEffect* effect = nullptr;
  {
    HostSession::CreationScope scope(session);
    effect = module->entryPoint()(&HostSession::callback);
  }
  if (std::string problem = checkRecord(effect); !problem.empty()) {
    // A record that fails the checks cannot be closed safely; it is left alone.
    result.error = "module '" + module->path() + "': " + problem;
    return result;
  }
  session.attach(effect);
  result.plugin.reset(new HostedPlugin(std::move(module), session, effect));
  return result;
}

HostedPlugin::HostedPlugin(std::shared_ptr<LoadedModule> module, HostSession& session, VstEffect* effect)
    : module_(std::move(module)), session_(session), effect_(effect) {}

HostedPlugin::~HostedPlugin() {
  if (processing_) setProcessing(false);
  dispatch(effClose);
  session_.attach(nullptr);
}

intptr_t HostedPlugin::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void HostedPlugin::open() { dispatch(effOpen); }

void HostedPlugin::configure(double sampleRate, int32_t blockSize) {
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  dispatch(effSetBlockSize, 0, blockSize);
}

void HostedPlugin::setProcessing(bool on) {
  dispatch(effMainsChanged, 0, on ? 1 : 0);
  processing_ = on;
}

std::string HostedPlugin::queryText(int32_t opcode, int32_t index) {
  std::array<char, kTextBufferSize> text{};
  dispatch(opcode, index, 0, text.data());
  text.back() = '\0';
  return text.data();
}

std::string HostedPlugin::effectName() { return queryText(effGetEffectName, 0); }
std::string HostedPlugin::vendorString() { return queryText(effGetVendorString, 0); }
std::string HostedPlugin::productString() { return queryText(effGetProductString, 0); }

int32_t HostedPlugin::vendorVersion() { return static_cast<int32_t>(dispatch(effGetVendorVersion)); }

int32_t HostedPlugin::vstVersion() { return static_cast<int32_t>(dispatch(effGetVstVersion)); }

int32_t HostedPlugin::category() { return static_cast<int32_t>(dispatch(effGetPlugCategory)); }

std::string HostedPlugin::paramName(int32_t index) {
  return validParam(index) ? queryText(effGetParamName, index) : std::string();
}

std::string HostedPlugin::paramDisplay(int32_t index) {
  return validParam(index) ? queryText(effGetParamDisplay, index) : std::string();
}

std::string HostedPlugin::paramLabel(int32_t index) {
  return validParam(index) ? queryText(effGetParamLabel, index) : std::string();
}

float HostedPlugin::getParameter(int32_t index) const {
  if (!validParam(index) || !effect_->getParameter) return 0.0f;
  return effect_->getParameter(effect_, index);
}

void HostedPlugin::setParameter(int32_t index, float normalized) {
  if (validParam(index) && effect_->setParameter) effect_->setParameter(effect_, index, normalized);
}

std::optional<int32_t> HostedPlugin::findParam(const std::string& name) {
  for (int32_t i = 0; i < numParams(); ++i)
    if (paramName(i) == name) return i;
  return std::nullopt;
}

}  // namespace thudra::host

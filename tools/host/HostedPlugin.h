// One plug-in instance created from a loaded module, with typed wrappers
// around the dispatcher calls the host makes.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tools/host/HostSession.h"
#include "tools/host/ModuleLoader.h"
#include "vst2/VstAbi.h"

namespace thudra::host {

// Counts above these are treated as a broken record rather than trusted.
constexpr int32_t kMaxPluginParams = 100000;
constexpr int32_t kMaxPluginChannels = 256;

class HostedPlugin;

struct PluginCreateResult {
  std::unique_ptr<HostedPlugin> plugin;  // null on failure
  std::string error;
};

class HostedPlugin {
public:
  // Calls the entry point and checks the record it returns.
  static PluginCreateResult create(std::shared_ptr<LoadedModule> module, HostSession& session);

  // Switches processing off if it is on, then closes the instance.
  ~HostedPlugin();
  HostedPlugin(const HostedPlugin&) = delete;
  HostedPlugin& operator=(const HostedPlugin&) = delete;

  vst2::VstEffect* effect() const { return effect_; }
  const LoadedModule& module() const { return *module_; }

  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);

  void open();
  void configure(double sampleRate, int32_t blockSize);
  void setProcessing(bool on);

  std::string effectName();
  std::string vendorString();
  std::string productString();
  int32_t vendorVersion();
  int32_t vstVersion();
  int32_t category();

  int32_t numInputs() const { return effect_->numInputs; }
  int32_t numOutputs() const { return effect_->numOutputs; }
  int32_t numParams() const { return effect_->numParams; }
  int32_t numPrograms() const { return effect_->numPrograms; }
  int32_t flags() const { return effect_->flags; }
  int32_t uniqueId() const { return effect_->uniqueID; }
  int32_t version() const { return effect_->version; }

  std::string paramName(int32_t index);
  std::string paramDisplay(int32_t index);
  std::string paramLabel(int32_t index);
  float getParameter(int32_t index) const;
  void setParameter(int32_t index, float normalized);
  // Index of the first parameter whose name equals `name` exactly.
  std::optional<int32_t> findParam(const std::string& name);

private:
  HostedPlugin(std::shared_ptr<LoadedModule> module, HostSession& session, vst2::VstEffect* effect);
  std::string queryText(int32_t opcode, int32_t index);
  bool validParam(int32_t index) const { return index >= 0 && index < numParams(); }

  std::shared_ptr<LoadedModule> module_;
  HostSession& session_;
  vst2::VstEffect* effect_;
  bool processing_ = false;
};

}  // namespace thudra::host

// Loading a VST2 module from disk and finding its entry point.
#pragma once

#include <memory>
#include <string>

#include "vst2/VstAbi.h"

namespace thudra::host {

// An open shared object; unloaded when the last owner lets go.
class LoadedModule {
public:
  LoadedModule(void* handle, std::string path, vst2::VstPluginMainProc entry);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  const std::string& path() const { return path_; }
  vst2::VstPluginMainProc entryPoint() const { return entry_; }

private:
  void* handle_;
  std::string path_;
  vst2::VstPluginMainProc entry_;
};

struct ModuleLoadResult {
  std::shared_ptr<LoadedModule> module;  // null on failure
  std::string error;                     // one line, set on failure
};

// Opens the module and looks up VSTPluginMain, falling back to main.
ModuleLoadResult loadModule(const std::string& path);

}  // namespace thudra::host

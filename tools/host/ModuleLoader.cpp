#include "tools/host/ModuleLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace thudra::host {

LoadedModule::LoadedModule(void* handle, std::string path, vst2::VstPluginMainProc entry)
    : handle_(handle), path_(std::move(path)), entry_(entry) {}

LoadedModule::~LoadedModule() {
  if (handle_) dlclose(handle_);
}

namespace {

std::string lastDlError() {
  const char* text = dlerror();
  return text ? text : "unknown error";
}

// dlopen searches the library path for names without a slash; a module given
// on the command line is always meant as a file.
std::string pathForDlopen(const std::string& path) { return path.find('/') == std::string::npos ? "./" + path : path; }

vst2::VstPluginMainProc findEntryPoint(void* handle) {
  for (const char* name : {"VSTPluginMain", "main"}) {
    if (void* symbol = dlsym(handle, name)) return reinterpret_cast<vst2::VstPluginMainProc>(symbol);
  }
  return nullptr;
}

}  // namespace

ModuleLoadResult loadModule(const std::string& path) {
  ModuleLoadResult result;
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0) {
    result.error =
        "cannot open module '" + path + "': " + (path.empty() ? std::string("empty path") : std::strerror(errno));
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.error = "cannot open module '" + path + "': not a regular file";
    return result;
  }

  dlerror();
  void* handle = dlopen(pathForDlopen(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    result.error = "cannot load module '" + path + "': " + lastDlError();
    return result;
  }
  vst2::VstPluginMainProc entry = findEntryPoint(handle);
  if (!entry) {
    dlclose(handle);
    result.error = "module '" + path + "' exports neither VSTPluginMain nor main";
    return result;
  }
  result.module = std::make_shared<LoadedModule>(handle, path, entry);
  return result;
}

}  // namespace thudra::host

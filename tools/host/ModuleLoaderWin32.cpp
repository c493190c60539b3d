// Windows module loading: LoadLibraryW and GetProcAddress.
#include <windows.h>

#include <utility>

#include "platform/win32/Utf.h"
#include "tools/host/ModuleLoader.h"

namespace thudra::host {

LoadedModule::LoadedModule(void* handle, std::string path, vst2::VstPluginMainProc entry)
    : handle_(handle), path_(std::move(path)), entry_(entry) {}

LoadedModule::~LoadedModule() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

namespace {

std::string systemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length ? platform::Utf8FromWide(text, int(length)) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "error " + std::to_string(code);
  return message;
}

vst2::VstPluginMainProc findEntryPoint(HMODULE module) {
  for (const char* name : {"VSTPluginMain", "main"}) {
    if (FARPROC symbol = GetProcAddress(module, name))
      return reinterpret_cast<vst2::VstPluginMainProc>(reinterpret_cast<void*>(symbol));
  }
  return nullptr;
}

}  // namespace

ModuleLoadResult loadModule(const std::string& path) {
  ModuleLoadResult result;
  const std::wstring widePath = platform::WideFromUtf8(path);
  const DWORD attributes = widePath.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(widePath.c_str());
  if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES) {
    result.error = "cannot open module '" + path +
                   "': " + (path.empty() ? std::string("empty path") : systemMessage(GetLastError()));
    return result;
  }
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    result.error = "cannot open module '" + path + "': not a regular file";
    return result;
  }

  // A module given on the command line is meant as that file, never one
  // found on the DLL search path; its own folder serves its dependencies.
  wchar_t full[32768] = {};
  const DWORD fullLength = GetFullPathNameW(widePath.c_str(), 32768, full, nullptr);
  const std::wstring loadPath = fullLength > 0 && fullLength < 32768 ? std::wstring(full) : widePath;
  HMODULE module = LoadLibraryExW(loadPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    result.error = "cannot load module '" + path + "': " + systemMessage(GetLastError());
    return result;
  }
  vst2::VstPluginMainProc entry = findEntryPoint(module);
  if (!entry) {
    FreeLibrary(module);
    result.error = "module '" + path + "' exports neither VSTPluginMain nor main";
    return result;
  }
  result.module = std::make_shared<LoadedModule>(module, path, entry);
  return result;
}

}  // namespace thudra::host

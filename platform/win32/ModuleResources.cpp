#include "platform/ModuleResources.h"

#include <windows.h>

#include <atomic>

#include "platform/win32/ModuleInstance.h"

namespace platform {
namespace {
std::atomic<void*> moduleInstance{nullptr};
}  // namespace

void SetModuleInstance(void* instance) { moduleInstance.store(instance); }
void* ModuleInstance() { return moduleInstance.load(); }

}  // namespace platform

// Image resources live in the module's resource section as type "PNG".
bool FindModuleResource(int id, const uint8_t** data, int32_t* size) {
  HMODULE module = static_cast<HMODULE>(platform::ModuleInstance());
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id & 0xFFFF), "PNG");
  if (!found) return false;
  const DWORD bytes = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  const void* locked = loaded ? LockResource(loaded) : nullptr;
  if (!locked || bytes > 0x7FFFFFFF) {
    if (data) *data = nullptr;
    if (size) *size = 0;
    return true;
  }
  if (data) *data = static_cast<const uint8_t*>(locked);
  if (size) *size = int32_t(bytes);
  return true;
}

// Resident memory across load -> open editor -> close -> unload cycles of
// the module, as a host meets them when projects are opened and closed.
// Usage: editor_reload_bench [cycles] [module]   (needs DISPLAY)
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vst2/VstAbi.h"

namespace {

long ResidentKb() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, "VmRSS:", 6) == 0) kb = std::strtol(line + 6, nullptr, 10);
  std::fclose(status);
  return kb;
}

intptr_t Host(vst2::VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

bool Cycle(const char* modulePath, Window parent) {
  void* module = dlopen(modulePath, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "dlopen: %s\n", dlerror());
    return false;
  }
  auto entry = reinterpret_cast<vst2::VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
  vst2::VstEffect* effect = entry ? entry(&Host) : nullptr;
  if (!effect) {
    dlclose(module);
    return false;
  }
  effect->dispatcher(effect, vst2::effOpen, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parent)), 0.0f);
  for (int i = 0; i < 3; ++i) effect->dispatcher(effect, vst2::effEditIdle, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, vst2::effEditClose, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f);
  dlclose(module);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 200;
  const char* modulePath = argc > 2 ? argv[2] : THUDRA_MODULE_PATH;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 592, 442, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);

  // The first cycles fill caches that live as long as the process.
  constexpr int kWarmUp = 10;
  for (int i = 0; i < kWarmUp; ++i)
    if (!Cycle(modulePath, parent)) return 1;
  const long before = ResidentKb();
  for (int i = 0; i < cycles; ++i)
    if (!Cycle(modulePath, parent)) return 1;
  const long after = ResidentKb();
  std::printf("resident after %d warm-up cycles: %ld KB\n", kWarmUp, before);
  std::printf("resident after %d more cycles:    %ld KB\n", cycles, after);
  std::printf("growth per cycle:                 %.1f KB\n", cycles > 0 ? double(after - before) / cycles : 0.0);
  XCloseDisplay(display);
  return 0;
}

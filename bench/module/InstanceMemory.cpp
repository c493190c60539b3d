// What instances cost a host that never opens their editors (every plug-in
// scan makes one): the first instance in the process timed, with the heap it
// holds; then the heap and resident memory that 100 more instances hold,
// opened, configured and switched on. The artwork is decoded when a picture
// is first drawn, so with a display (DISPLAY set) the first editor opened
// and painted is timed too, and a second one for comparison.
//   instance_memory [module.so [first]]
// With "first" only the first instance and the editors are made, for
// counting instructions:
//   valgrind --tool=callgrind --toggle-collect='*Start*' instance_memory module.so first
//   valgrind --tool=callgrind --toggle-collect='*OpenAndPaintEditor*' instance_memory module.so first
// Heap is what the allocator hands out (mallinfo2), resident the pages the
// process touches (/proc/self/statm).
#include <X11/Xlib.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/host/HostSession.h"
#include "tools/host/HostedPlugin.h"
#include "tools/host/ModuleLoader.h"

using namespace thudra::host;

namespace {

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 256;
constexpr int kInstances = 100;

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

size_t ResidentBytes() {
  long pages = 0;
  long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

double ProcessorMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

std::unique_ptr<HostedPlugin> Start(const std::shared_ptr<LoadedModule>& module, HostSession& session) {
  PluginCreateResult created = HostedPlugin::create(module, session);
  if (!created.plugin) {
    std::fprintf(stderr, "%s\n", created.error.c_str());
    return nullptr;
  }
  created.plugin->open();
  created.plugin->configure(kRate, kBlock);
  created.plugin->setProcessing(true);
  return std::move(created.plugin);
}

// Hosts call effEditIdle every few tens of milliseconds, and the editor's
// first tick paints everything; this idles long enough for several ticks.
constexpr auto kIdlePeriod = std::chrono::milliseconds(10);
constexpr int kIdleCalls = 15;

// Opens the editor in a new top-level window, idles it as a host does and
// closes it: the processor milliseconds spent (sleeps between idles do not
// count). Negative when the editor does not open.
double OpenAndPaintEditor(HostedPlugin& plugin, Display* display) {
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 592, 442, 0, 0, 0);
  XMapWindow(display, window);
  XSync(display, False);
  double spent = 0.0;
  double begin = ProcessorMilliseconds();
  const intptr_t opened = plugin.dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(window)));
  for (int i = 0; opened && i < kIdleCalls; ++i) {
    plugin.dispatch(vst2::effEditIdle);
    spent += ProcessorMilliseconds() - begin;
    std::this_thread::sleep_for(kIdlePeriod);
    begin = ProcessorMilliseconds();
  }
  if (opened) plugin.dispatch(vst2::effEditClose);
  XDestroyWindow(display, window);
  XSync(display, False);
  return opened ? spent : -1.0;
}

void ReportEditors(const std::shared_ptr<LoadedModule>& module, HostSession& session, HostedPlugin& first) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::printf("first editor: no X display (set DISPLAY), not measured\n");
    return;
  }
  const double firstEditor = OpenAndPaintEditor(first, display);
  std::unique_ptr<HostedPlugin> second = Start(module, session);
  const double secondEditor = second ? OpenAndPaintEditor(*second, display) : -1.0;
  XCloseDisplay(display);
  if (firstEditor < 0.0 || secondEditor < 0.0) {
    std::printf("first editor: did not open\n");
    return;
  }
  std::printf("first editor opened and painted (decodes the artwork): processor %.2f ms; a second: %.2f ms\n",
              firstEditor, secondEditor);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : THUDRA_MODULE_PATH;
  const ModuleLoadResult loaded = loadModule(path);
  if (!loaded.module) {
    std::fprintf(stderr, "%s\n", loaded.error.c_str());
    return 1;
  }
  HostSession session(kRate, kBlock, vst2::kVstProcessLevelRealtime);

  // Processor time too: on a shared machine the wall clock also counts
  // other processes' turns.
  const size_t heapBeforeFirst = HeapInUse();
  const auto begin = std::chrono::steady_clock::now();
  const double cpuBegin = ProcessorMilliseconds();
  std::unique_ptr<HostedPlugin> first = Start(loaded.module, session);
  const double cpu = ProcessorMilliseconds() - cpuBegin;
  const auto end = std::chrono::steady_clock::now();
  if (!first) return 1;
  std::printf("first instance in the process: %.2f ms (processor %.2f ms), heap %.1f kB\n",
              std::chrono::duration<double, std::milli>(end - begin).count(), cpu,
              static_cast<double>(HeapInUse() - heapBeforeFirst) / 1024.0);

  if (argc > 2 && std::string(argv[2]) == "first") {
    ReportEditors(loaded.module, session, *first);
    return 0;
  }

  const size_t heapBefore = HeapInUse();
  const size_t residentBefore = ResidentBytes();
  std::vector<std::unique_ptr<HostedPlugin>> more;
  for (int i = 0; i < kInstances; ++i) {
    more.push_back(Start(loaded.module, session));
    if (!more.back()) return 1;
  }
  const double heap = static_cast<double>(HeapInUse() - heapBefore) / kInstances / 1024.0;
  const double resident = static_cast<double>(ResidentBytes() - residentBefore) / kInstances / 1024.0;
  std::printf("%d more instances, editors closed: heap %.1f kB, resident %.1f kB per instance\n", kInstances, heap,
              resident);
  ReportEditors(loaded.module, session, *first);
  return 0;
}

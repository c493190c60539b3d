// What instances cost a host that never opens their editors (every plug-in
// scan makes one): the first instance in the process, which also decodes
// the artwork, timed; then the heap and resident memory that 100 more
// instances hold, opened, configured and switched on.
//   instance_memory [module.so [first]]
// With "first" only the first instance is made, for counting its
// instructions: valgrind --tool=callgrind --toggle-collect='*Start*' instance_memory module.so first
// Heap is what the allocator hands out (mallinfo2), resident the pages the
// process touches (/proc/self/statm).
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <memory>
#include <string>
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
  const auto begin = std::chrono::steady_clock::now();
  const double cpuBegin = ProcessorMilliseconds();
  std::unique_ptr<HostedPlugin> first = Start(loaded.module, session);
  const double cpu = ProcessorMilliseconds() - cpuBegin;
  const auto end = std::chrono::steady_clock::now();
  if (!first) return 1;
  std::printf("first instance in the process: %.2f ms (processor %.2f ms)\n",
              std::chrono::duration<double, std::milli>(end - begin).count(), cpu);

  if (argc > 2 && std::string(argv[2]) == "first") return 0;

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
  return 0;
}

// thudra-install-presets: copies the factory sounds into the user's preset
// folder. A file the user already has and changed is never overwritten.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "presets/PresetFiles.h"

namespace fs = std::filesystem;

namespace {
std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: thudra-install-presets FACTORY_PRESETS_FOLDER\n");
    return 2;
  }
  const fs::path source = argv[1];
  const fs::path target = fs::path(PresetRootFolder()) / "Factory Presets";
  std::error_code error;
  fs::create_directories(target, error);
  fs::create_directories(PresetSaveFolder(), error);
  if (!fs::is_directory(source) || !fs::is_directory(target)) {
    std::fprintf(stderr, "thudra-install-presets: cannot copy %s to %s\n", source.c_str(), target.c_str());
    return 1;
  }
  int copied = 0, kept = 0;
  for (const auto& entry : fs::directory_iterator(source)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".tvpreset") continue;
    const fs::path destination = target / entry.path().filename();
    if (fs::exists(destination)) {
      if (Contents(destination) != Contents(entry.path())) ++kept;  // the user's own edit stays
      continue;
    }
    if (fs::copy_file(entry.path(), destination, error)) ++copied;
  }
  std::printf("Factory presets in %s: %d copied, %d changed by you and kept\n", target.c_str(), copied, kept);
  return 0;
}

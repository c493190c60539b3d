// Replays every saved fuzz input through the same code the fuzz targets run:
// the seed corpora (fuzz/corpus/<target>/) and each input that once made a
// target fail (fuzz/crashes/<target>/). A failure aborts the process with
// the file's name printed first.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/FuzzHarness.h"

namespace fs = std::filesystem;

namespace {

using Target = void (*)(const uint8_t*, size_t);

std::vector<uint8_t> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Feeds every file of fuzz/<kind>/<target>/; returns how many there were.
int Replay(const char* target, Target run) {
  int fed = 0;
  for (const char* kind : {"corpus", "crashes"}) {
    const fs::path folder = fs::path(THUDRA_FUZZ_DIR) / kind / target;
    if (!fs::is_directory(folder)) continue;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::fprintf(stderr, "replaying %s\n", file.c_str());  // named if it brings the process down
      const std::vector<uint8_t> bytes = Bytes(file);
      run(bytes.data(), bytes.size());
      ++fed;
    }
  }
  return fed;
}

}  // namespace

TEST(FuzzInputs, ChunkRestore) { EXPECT_GT(Replay("chunk", fuzz::FuzzChunk), 0); }
TEST(FuzzInputs, PresetFile) { EXPECT_GT(Replay("preset", fuzz::FuzzPresetFile), 0); }
TEST(FuzzInputs, PngDecode) { EXPECT_GT(Replay("png", fuzz::FuzzPng), 0); }
TEST(FuzzInputs, EventLists) { EXPECT_GT(Replay("events", fuzz::FuzzEvents), 0); }
TEST(FuzzInputs, ParameterTexts) { EXPECT_GT(Replay("paramtext", fuzz::FuzzParamText), 0); }
TEST(FuzzInputs, FontText) { EXPECT_GT(Replay("fonttext", fuzz::FuzzFontText), 0); }

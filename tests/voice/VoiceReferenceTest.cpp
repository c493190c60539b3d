#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/voice/DrumVoice.h"
#include "tests/voice/ReferenceVoice.h"
#include "tests/voice/Bits.h"
#include "tests/voice/VoiceScenario.h"

namespace {

const char* const kReferencePath = "tests/voice/data/voice_scenario.txt";
constexpr int kSpotSpacing = 256;

uint64_t Fnv1a64(const std::vector<float>& samples) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (float sample : samples) {
    const uint32_t bits = Bits(sample);
    for (int byte = 0; byte < 4; ++byte) {
      hash ^= (bits >> (8 * byte)) & 0xffu;
      hash *= 0x100000001b3ull;
    }
  }
  return hash;
}

std::vector<float> RenderRegressionScenario() {
  DrumVoice voice;
  std::vector<float> samples;
  RenderScenario(voice, 44100.0, samples);
  return samples;
}

void WriteReference(const std::vector<float>& samples) {
  std::ofstream file(kReferencePath);
  file << "# Voice scenario at 44100 Hz: FNV-1a 64 of the float32 bits (little-endian),\n"
       << "# the sample count, then every " << kSpotSpacing << "th sample as index and bits.\n";
  char line[64];
  std::snprintf(line, sizeof line, "hash %016" PRIx64 "\ncount %zu\n", Fnv1a64(samples), samples.size());
  file << line;
  for (size_t i = 0; i < samples.size(); i += kSpotSpacing) {
    std::snprintf(line, sizeof line, "%zu %08" PRIx32 "\n", i, Bits(samples[i]));
    file << line;
  }
}

uint64_t RecordedHash() {
  std::ifstream file(kReferencePath);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string key, value;
    fields >> key >> value;
    if (key == "hash") return std::stoull(value, nullptr, 16);
  }
  ADD_FAILURE() << "no hash in " << kReferencePath;
  return 0;
}

}  // namespace

TEST(VoiceReference, KeptCoefficientsGiveTheSameBitsAsTheDirectFormulas) {
  DrumVoice voice;
  ReferenceVoice reference;
  std::vector<float> fast, direct;
  // One voice through several rates in a row, as a host may switch them.
  for (double rate : {44100.0, 48000.0, 96000.0, 8000.0, 22050.0}) {
    RenderScenario(voice, rate, fast);
    RenderScenario(reference, rate, direct);
  }
  ASSERT_EQ(fast.size(), direct.size());
  for (size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(Bits(fast[i]), Bits(direct[i])) << "sample " << i;
}

// Regenerate deliberately with THUDRA_UPDATE_VOICE_REFERENCE=1 (see data/README.md).
TEST(VoiceReference, RendersTheRecordedScenarioToTheBit) {
  const std::vector<float> samples = RenderRegressionScenario();
  if (std::getenv("THUDRA_UPDATE_VOICE_REFERENCE") != nullptr) {
    WriteReference(samples);
    GTEST_SKIP() << "reference rewritten: " << kReferencePath;
  }
  std::ifstream file(kReferencePath);
  ASSERT_TRUE(file) << kReferencePath;
  std::string line;
  int spots = 0;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string key, value;
    fields >> key >> value;
    if (key == "hash") {
      EXPECT_EQ(std::stoull(value, nullptr, 16), Fnv1a64(samples));
    } else if (key == "count") {
      ASSERT_EQ(std::stoull(value), samples.size());
    } else {
      const size_t index = std::stoull(key);
      ASSERT_LT(index, samples.size());
      EXPECT_EQ(std::stoul(value, nullptr, 16), Bits(samples[index])) << "sample " << index;
      ++spots;
    }
  }
  EXPECT_GT(spots, 300);
}

TEST(VoiceReference, BlockRenderingGivesTheRecordedScenario) {
  DrumVoice voice;
  std::vector<float> samples;
  RenderScenarioInBlocks(voice, 44100.0, {256, 1, 1000, 7, 64}, samples);
  ASSERT_EQ(samples.size(), RenderRegressionScenario().size());
  EXPECT_EQ(Fnv1a64(samples), RecordedHash());
}

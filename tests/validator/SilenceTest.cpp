// The subnormal guard of the audio callbacks changes nothing audible: the
// instrument's output equals the voice rendered directly, without flushing,
// in every sample above 1e-30, and the decay below that never slows the
// voice to a crawl (bench/silence measures the speed).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "instrument/Thudrix.h"
#include "tests/instrument/StartedThudrix.h"
#include "presets/PresetFiles.h"

namespace {

class GuardedAndUnguarded : public ::testing::Test {
protected:
  void SetUp() override {
    char root[] = "/tmp/thudra-silence-XXXXXX";
    root_ = mkdtemp(root);
    SetPresetRootFolder(root_ + "/");  // no user presets: both start alike
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

public:
  static std::unique_ptr<Thudrix> Make(float rate, int32_t block, const std::vector<float>& knobs) {
    auto plug = MakeStartedThudrix(&QuietHost, rate, block);
    vst2::VstEffect* e = plug->Effect();
    for (size_t i = 0; i < knobs.size(); ++i) e->setParameter(e, int32_t(i), knobs[i]);
    return plug;
  }

protected:
  std::string root_;
};

struct Comparison {
  long audible = 0;     // samples above 1e-30 in either rendering
  long mismatched = 0;  // of those, samples that differ
  long firstMismatch = -1;
  long quietDifferences = 0;  // differences below 1e-30, where flushing may act
};

// Hits both instruments from the trigger pad, renders one through
// processReplacing (guarded) and takes the other's voice sample by sample
// on this thread with the caller's default mode (unguarded).
Comparison Compare(float rate, const std::vector<float>& knobs, double seconds) {
  constexpr int32_t kBlock = 4096;
  auto guarded = GuardedAndUnguarded::Make(rate, kBlock, knobs);
  auto plain = GuardedAndUnguarded::Make(rate, kBlock, knobs);
  guarded->Effect()->setParameter(guarded->Effect(), kParamTrigger, 1.0f);
  plain->Effect()->setParameter(plain->Effect(), kParamTrigger, 1.0f);
  const unsigned mode = _mm_getcsr();
  EXPECT_EQ(mode & 0x8040u, 0u) << "the test itself must run without flushing";

  Comparison result;
  std::vector<float> left(kBlock), right(kBlock);
  float* outs[] = {left.data(), right.data()};
  const long total = long(seconds * rate);
  for (long done = 0; done < total; done += kBlock) {
    guarded->Effect()->processReplacing(guarded->Effect(), nullptr, outs, kBlock);
    for (int32_t s = 0; s < kBlock; ++s) {
      const float reference = float(double(plain->Voice().NextSample() * 0.5f));
      const float got = left[size_t(s)];
      if (std::fabs(reference) > 1e-30f || std::fabs(got) > 1e-30f) {
        ++result.audible;
        if (got != reference) {
          if (result.firstMismatch < 0) result.firstMismatch = done + s;
          ++result.mismatched;
        }
      } else if (got != reference) {
        ++result.quietDifferences;
      }
    }
  }
  // The voice rendered here raises the sticky denormal and underflow flags
  // itself; the control bits must be as they were.
  EXPECT_EQ(_mm_getcsr() & ~0x3Fu, mode & ~0x3Fu);
  return result;
}

}  // namespace

TEST_F(GuardedAndUnguarded, AudibleSamplesAreIdentical) {
  struct Setting {
    const char* name;
    float rate;
    std::vector<float> knobs;  // parameters 0, 1, 2, ... as normalized values
  };
  const Setting settings[] = {
      {"defaults", 48000.0f, {}},
      {"longest decay", 48000.0f, {0.5f, 1, 1, 1, 1, 1, 1, 1, 1}},
      {"shortest decay", 44100.0f, {0.5f, 0.5f, 0, 0, 0.05f, 0, 0, 0, 0}},
      {"bright and distorted", 96000.0f, {1.0f, 1, 0.3f, 0.2f, 0.1f, 0.7f, 1, 0.9f, 1}},
  };
  for (const Setting& setting : settings) {
    SCOPED_TRACE(setting.name);
    const Comparison c = Compare(setting.rate, setting.knobs, 60.0);
    std::printf("%s: %ld audible samples, %ld differ; %ld differences below 1e-30\n", setting.name, c.audible,
                c.mismatched, c.quietDifferences);
    EXPECT_GT(c.audible, 1000);
    EXPECT_EQ(c.mismatched, 0) << "first at sample " << c.firstMismatch;
  }
}

// The voice's own state after ten minutes of decay under the guard holds no
// subnormal number that would slow every following sample.
TEST_F(GuardedAndUnguarded, NoSubnormalStateAfterTenMinutes) {
  auto plug = Make(48000.0f, 4800, {0.5f, 1, 1, 1, 1, 1, 1, 1, 1});
  vst2::VstEffect* e = plug->Effect();
  e->setParameter(e, kParamTrigger, 1.0f);
  std::vector<float> left(4800), right(4800);
  float* outs[] = {left.data(), right.data()};
  for (int block = 0; block < 6000; ++block) e->processReplacing(e, nullptr, outs, 4800);
  const DrumVoice& v = plug->Voice();
  const double doubles[] = {v.AmpEnv().Level(), v.ClickEnv().Level(), v.PitchEnv().Level(), v.Tail(), v.LastOutput()};
  const float floats[] = {v.HighPass().out, v.HighPass().in, v.LowPass().out, v.LowPass().in};
  for (double x : doubles) EXPECT_NE(std::fpclassify(x), FP_SUBNORMAL) << x;
  for (float x : floats) EXPECT_NE(std::fpclassify(x), FP_SUBNORMAL) << x;
  for (float x : left) EXPECT_EQ(x, 0.0f);
}

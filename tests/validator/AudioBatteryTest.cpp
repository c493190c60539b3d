// Audio callbacks under every configuration a host may choose: rates, block
// sizes, pointer arrays, automation, processing switched off and on, the
// caller's floating-point mode, and ten minutes of decay.
#include <chrono>
#include <cstdio>
#include <limits>
#include <random>

#include "tests/validator/ModuleHost.h"

using namespace validator;

namespace {

struct Note {
  int64_t position;  // absolute sample
  uint8_t key;
  uint8_t velocity;
};

// Three hits a tenth of a second apart, with different keys and velocities.
std::vector<Note> Song(float rate) {
  const int64_t step = int64_t(rate / 10.0f);
  return {{0, 33, 127}, {step, 45, 64}, {2 * step + 17, 28, 100}};
}

// Renders total frames in calls whose sizes come from nextSize, delivering
// each note in the call that contains it, at its offset there.
template <class SizeFn>
std::vector<float> RenderSong(Instance& instance, const std::vector<Note>& notes, int64_t total, SizeFn nextSize) {
  std::vector<float> out;
  out.reserve(size_t(total));
  int64_t position = 0;
  while (position < total) {
    const int64_t size = std::min<int64_t>(nextSize(), total - position);
    for (const Note& note : notes)
      if (note.position >= position && note.position < position + std::max<int64_t>(size, 1) && size > 0)
        instance.Midi(int32_t(note.position - position), 0x90, note.key, note.velocity);
    const std::vector<float> block = instance.Render(int32_t(size));
    out.insert(out.end(), block.begin(), block.end());
    position += size;
  }
  return out;
}

// Both MIDI modes on, so the keys and velocities of the song matter.
void PlayWithMidiModes(Instance& instance) {
  instance.Set(9, 1.0f);
  instance.Set(10, 1.0f);
}

size_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (a[i] != b[i] && !(std::isnan(a[i]) && std::isnan(b[i]))) return i;
  return a.size() == b.size() ? std::string::npos : std::min(a.size(), b.size());
}

}  // namespace

using AudioBattery = ModuleTest;

// Sample-accurate MIDI means the host's block size cannot change the sound:
// every block size, announced or not, renders the very same samples.
TEST_F(AudioBattery, EveryRateAndBlockSizeRendersTheSameSaneSound) {
  const float rates[] = {22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000};
  const int32_t blocks[] = {1, 2, 3, 7, 64, 511, 4096, 8192};
  for (float rate : rates) {
    SCOPED_TRACE(testing::Message() << "rate " << rate);
    const auto notes = Song(rate);
    const int64_t total = int64_t(rate * 0.3f);
    Instance reference(rate, 4096);
    PlayWithMidiModes(reference);
    const std::vector<float> expected = RenderSong(reference, notes, total, [] { return 4096; });
    size_t bad = 0;
    ASSERT_TRUE(Sane(expected, &bad)) << "sample " << bad << " = " << expected[bad];
    EXPECT_GT(Peak(expected), 0.01f);
    EXPECT_EQ(reference.channelMismatches, 0);

    for (int32_t block : blocks) {
      SCOPED_TRACE(testing::Message() << "block " << block);
      Instance instance(rate, block);
      PlayWithMidiModes(instance);
      const std::vector<float> got = RenderSong(instance, notes, total, [block] { return block; });
      EXPECT_EQ(FirstDifference(got, expected), std::string::npos);
      EXPECT_EQ(instance.channelMismatches, 0);
    }

    // Sizes that change on every call, larger and smaller than announced,
    // including empty calls.
    Instance varying(rate, 512);
    PlayWithMidiModes(varying);
    std::mt19937 random{unsigned(rate)};
    const std::vector<float> got = RenderSong(varying, notes, total, [&] {
      const uint32_t kind = random() % 4;
      return kind == 0 ? int64_t(0) : kind == 1 ? int64_t(1 + random() % 8) : int64_t(random() % 9000);
    });
    EXPECT_EQ(FirstDifference(got, expected), std::string::npos);
  }
}

// The instrument has no inputs; hosts pass null, arrays of nulls, or junk
// pointers that must never be read. Missing outputs are skipped, not written.
TEST_F(AudioBattery, NullAndPartialPointerArrays) {
  Instance instance(44100.0f, 256);
  std::vector<float> left(300, 5.0f), right(300, 5.0f);
  std::vector<double> leftD(300, 5.0), rightD(300, 5.0);
  float* nullInputs[] = {nullptr, nullptr};
  float* junkInputs[] = {reinterpret_cast<float*>(uintptr_t(0x10)), reinterpret_cast<float*>(uintptr_t(0x20))};
  double* nullInputsD[] = {nullptr, nullptr};
  vst2::VstEffect* e = instance.Effect();

  instance.Set(13, 1.0f);  // the trigger pad: something to hear
  float* outs[] = {left.data(), right.data()};
  e->processReplacing(e, nullptr, outs, 300);
  e->processReplacing(e, nullInputs, outs, 300);
  e->processReplacing(e, junkInputs, outs, 300);  // no inputs exist, so none is read
  EXPECT_TRUE(Sane(left));
  EXPECT_EQ(left, right);

  float* leftOnly[] = {left.data(), nullptr};
  float* rightOnly[] = {nullptr, right.data()};
  float* neither[] = {nullptr, nullptr};
  e->processReplacing(e, nullptr, leftOnly, 300);
  e->processReplacing(e, nullptr, rightOnly, 300);
  e->processReplacing(e, nullptr, neither, 300);
  e->processReplacing(e, nullptr, nullptr, 300);
  e->process(e, nullptr, nullptr, 300);
  e->process(e, nullInputs, neither, 300);
  double* outsD[] = {leftD.data(), nullptr};
  e->processDoubleReplacing(e, nullInputsD, outsD, 300);
  e->processDoubleReplacing(e, nullptr, nullptr, 300);
  for (double x : leftD) EXPECT_TRUE(std::isfinite(x) && std::fabs(x) < 4.0);
  EXPECT_TRUE(Sane(left));
  EXPECT_TRUE(Sane(right));

  // Empty and negative lengths touch nothing.
  std::vector<float> untouched(4, 3.0f);
  float* small[] = {untouched.data(), untouched.data()};
  e->processReplacing(e, nullptr, small, 0);
  e->processReplacing(e, nullptr, small, -5);
  e->processReplacing(e, nullptr, small, INT32_MIN);
  EXPECT_EQ(untouched, std::vector<float>(4, 3.0f));
}

// Random automation of every parameter while notes play: the sound stays
// finite and bounded and every read-back stays normalized. Hits come at
// least 100 ms apart; every knob at its maximum makes a single hit peak at
// about 4.5, so the bound here is twice the usual one.
TEST_F(AudioBattery, RandomAutomationOfEveryParameterDuringPlayback) {
  Instance instance(48000.0f, 256);
  std::mt19937 random(11);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  int blocksSinceHit = 0;
  for (int block = 0; block < 4000; ++block, ++blocksSinceHit) {  // about 21 s of audio
    const int changes = int(random() % 4);
    for (int c = 0; c < changes; ++c) {
      int32_t index = int32_t(random() % 17);
      if (index == 13) continue;  // the pad is a hit: those are paced below
      const float value = unit(random);
      instance.Set(index, value);
      const float back = instance.Get(index);
      ASSERT_TRUE(back >= 0.0f && back <= 1.0f) << "parameter " << index << " read back " << back;
      char text[64] = {};
      instance.Call(vst2::effGetParamDisplay, index, 0, text);
      ASSERT_LT(std::strlen(text), sizeof text);
    }
    if (blocksSinceHit > 20 && random() % 10 == 0) {
      blocksSinceHit = 0;
      if (random() % 2) {
        instance.Midi(int32_t(random() % 256), 0x90, uint8_t(random() % 128), uint8_t(random() % 128));
      } else {
        instance.Set(13, 1.0f);
      }
    }
    if (random() % 50 == 0)
      instance.Midi(int32_t(random() % 256), 0xB0, uint8_t(random() % 128), uint8_t(random() % 128));
    const std::vector<float> out = instance.Render(256);
    for (size_t i = 0; i < out.size(); ++i)
      ASSERT_TRUE(std::isfinite(out[i]) && std::fabs(out[i]) < 8.0f)
          << "block " << block << " sample " << i << " = " << out[i];
  }
  EXPECT_EQ(instance.channelMismatches, 0);
}

// A roll of hits adds each hit onto the tail the last one left (that carried
// tail is what keeps a retrigger free of clicks): at middle settings a hit
// every 256 samples (a 187 Hz roll at 48 kHz) peaks near 5.7 against 0.47
// for a single hit, and a hit every sample near 160. It builds up, but it
// must settle: the tail decays faster than the hits can feed it.
TEST_F(AudioBattery, RollsOfHitsSettleAtABoundedLevel) {
  for (int32_t every : {1, 8, 64, 256}) {
    SCOPED_TRACE(testing::Message() << "a hit every " << every << " samples");
    Instance instance(48000.0f, every);
    float peak = 0.0f;
    for (int64_t done = 0; done < 48000 * 5; done += every) {
      instance.Set(13, 1.0f);
      peak = std::max(peak, Peak(instance.Render(every)));
    }
    EXPECT_TRUE(std::isfinite(peak));
    EXPECT_LT(peak, 400.0f);
  }
}

// Values outside 0..1 and non-numbers are host faults; they must not drive
// the circuit model into non-finite or runaway output.
TEST_F(AudioBattery, HostileParameterValuesKeepTheSoundSane) {
  const float hostile[] = {-1.0f,
                           -0.25f,
                           1.25f,
                           2.0f,
                           1e30f,
                           -1e30f,
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::denorm_min()};
  for (int32_t index = 0; index < 17; ++index) {
    for (float value : hostile) {
      SCOPED_TRACE(testing::Message() << "parameter " << index << " = " << value);
      Instance instance(44100.0f, 512);
      instance.Set(index, value);
      const float back = instance.Get(index);
      EXPECT_TRUE(back >= 0.0f && back <= 1.0f) << back;
      instance.Midi(0, 0x90, 60, 127);
      instance.Set(13, 1.0f);
      const std::vector<float> out = instance.Render(4096);
      size_t bad = 0;
      EXPECT_TRUE(Sane(out, &bad)) << "sample " << bad << " = " << out[bad];
    }
  }
}

// Processing switched off and on at random between blocks, with rate and
// block-size changes while off and blocks rendered in either state.
TEST_F(AudioBattery, MainsToggling) {
  Instance instance(44100.0f, 512);
  std::mt19937 random(5);
  const float rates[] = {22050, 44100, 48000, 96000, 192000};
  bool on = true;
  for (int round = 0; round < 300; ++round) {
    if (random() % 3 == 0) {
      on = !on;
      instance.Call(vst2::effMainsChanged, 0, on ? 1 : 0);
      if (!on && random() % 2 == 0) {
        instance.Call(vst2::effSetSampleRate, 0, 0, nullptr, rates[random() % 5]);
        instance.Call(vst2::effSetBlockSize, 0, 1 + random() % 4096);
      }
    }
    if (random() % 4 == 0) instance.Midi(int32_t(random() % 512), 0x90, 40, 120);
    const std::vector<float> out = instance.Render(int32_t(random() % 1024));
    ASSERT_TRUE(Sane(out)) << "round " << round;
  }
  instance.Call(vst2::effMainsChanged, 0, 1);
  instance.Midi(0, 0x90, 33, 127);
  EXPECT_GT(Peak(instance.Render(4096)), 0.01f);
}

// The audio callbacks flush subnormals for themselves and hand the caller's
// floating-point mode back untouched, whatever that mode was.
TEST_F(AudioBattery, CallersFloatingPointModeIsRestored) {
  constexpr unsigned kFlushToZero = 0x8000;
  constexpr unsigned kDenormalsAreZero = 0x0040;
  const unsigned original = _mm_getcsr();
  const unsigned modes[] = {
      0x1F80,                                     // the default: all masked, nearest, no flushing
      0x1F80 | kFlushToZero | kDenormalsAreZero,  // a host that flushes already
      0x1F80 | 0x6000,                            // round toward zero
      0x1F80 | 0x0021,                            // sticky precision and invalid flags already raised
  };
  Instance instance(44100.0f, 128);
  std::vector<float> left(1000), right(1000);
  std::vector<double> leftD(1000), rightD(1000);
  float* outs[] = {left.data(), right.data()};
  double* outsD[] = {leftD.data(), rightD.data()};
  vst2::VstEffect* e = instance.Effect();
  for (unsigned mode : modes) {
    SCOPED_TRACE(testing::Message() << std::hex << "caller mode 0x" << mode);
    instance.Midi(10, 0x90, 33, 127);
    gCounters.csrInsideCallback = 0;
    _mm_setcsr(mode);
    e->processReplacing(e, nullptr, outs, 1000);
    const unsigned afterReplacing = _mm_getcsr();
    e->processDoubleReplacing(e, nullptr, outsD, 1000);
    const unsigned afterDouble = _mm_getcsr();
    e->process(e, nullptr, outs, 1000);
    const unsigned afterAccumulating = _mm_getcsr();
    _mm_setcsr(original);
    EXPECT_EQ(afterReplacing, mode);
    EXPECT_EQ(afterDouble, mode);
    EXPECT_EQ(afterAccumulating, mode);
    const unsigned inside = gCounters.csrInsideCallback.load();
    EXPECT_EQ(inside & (kFlushToZero | kDenormalsAreZero), kFlushToZero | kDenormalsAreZero);
    EXPECT_EQ(inside & 0x7F80, mode & 0x7F80) << "masks and rounding are the caller's";
  }
}

// Ten minutes at 48 kHz after one hit: the tail decays to silence without a
// single subnormal sample, and every sample stays finite. The time for the
// first and the last half minute is printed; the benchmark in bench/silence
// is where speed is judged.
TEST_F(AudioBattery, TenMinutesOfDecayAfterAHit) {
  constexpr int32_t kRate = 48000;
  constexpr int32_t kBlock = 4800;
  constexpr int64_t kTotal = int64_t(kRate) * 600;
  Instance instance(float(kRate), kBlock);
  // The longest settings make the longest tail.
  for (int32_t index = 1; index <= 8; ++index) instance.Set(index, 1.0f);
  instance.Midi(0, 0x90, 33, 127);
  std::vector<float> left(kBlock), right(kBlock);
  float* outs[] = {left.data(), right.data()};
  vst2::VstEffect* e = instance.Effect();
  int64_t subnormals = 0, nonFinite = 0;
  float lastMinutePeak = 0.0f, firstSecondPeak = 0.0f;
  double firstHalfMinute = 0.0, lastHalfMinute = 0.0;
  const int64_t halfMinute = int64_t(kRate) * 30;
  for (int64_t done = 0; done < kTotal; done += kBlock) {
    const auto start = std::chrono::steady_clock::now();
    e->processReplacing(e, nullptr, outs, kBlock);
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (done < halfMinute) firstHalfMinute += spent;
    if (done >= kTotal - halfMinute) lastHalfMinute += spent;
    for (float x : left) {
      if (std::fpclassify(x) == FP_SUBNORMAL) ++subnormals;
      if (!std::isfinite(x)) ++nonFinite;
      if (done < kRate) firstSecondPeak = std::max(firstSecondPeak, std::fabs(x));
      if (done >= kTotal - 60 * kRate) lastMinutePeak = std::max(lastMinutePeak, std::fabs(x));
    }
  }
  std::printf("ten minutes at 48 kHz: first 30 s rendered in %.3f s, last 30 s in %.3f s\n", firstHalfMinute,
              lastHalfMinute);
  EXPECT_EQ(subnormals, 0);
  EXPECT_EQ(nonFinite, 0);
  EXPECT_GT(firstSecondPeak, 0.01f);
  EXPECT_LT(lastMinutePeak, 1e-6f);
}

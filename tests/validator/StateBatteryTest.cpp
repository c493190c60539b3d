// State round trips at random points of a session. The chunk carries the
// parameters only; the voice and its noise generator are not state. So the
// checks are: a restored instance reads back exactly the parameters of the
// one it was saved from and saves the same bytes again, and two fresh
// instances given the same chunk render the same audio sample for sample.
#include <random>

#include "tests/validator/ModuleHost.h"

using namespace validator;

namespace {

std::vector<float> Readback(Instance& instance) {
  std::vector<float> values;
  for (int32_t i = 0; i < 17; ++i) values.push_back(instance.Get(i));
  return values;
}

std::vector<std::string> Displays(Instance& instance) {
  std::vector<std::string> texts;
  for (int32_t i = 0; i < 17; ++i) {
    char text[64] = {};
    instance.Call(vst2::effGetParamDisplay, i, 0, text);
    texts.push_back(text);
  }
  return texts;
}

// The same notes for both instances: hits, pitches and accents.
std::vector<float> PlayPhrase(Instance& instance) {
  std::vector<float> out;
  const uint8_t keys[] = {33, 40, 21, 60};
  for (int i = 0; i < 4; ++i) {
    instance.Midi(37 * i, 0x90, keys[i], uint8_t(30 + 25 * i));
    const std::vector<float> block = instance.Render(6000);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

}  // namespace

using StateBattery = ModuleTest;

TEST_F(StateBattery, RoundTripsAtRandomPointsOfASession) {
  Instance session(44100.0f, 512);
  std::mt19937 random(23);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  int checked = 0;
  for (int block = 0; block < 1500; ++block) {
    for (int c = int(random() % 3); c > 0; --c) {
      // The momentary controls (learn, clear, pad, light, arrows) are
      // driven too, but less often than the sound's knobs.
      const int32_t index = random() % 8 == 0 ? int32_t(11 + random() % 6) : int32_t(random() % 11);
      session.Set(index, unit(random));
    }
    if (random() % 10 == 0) session.Midi(int32_t(random() % 512), 0x90, uint8_t(random() % 128), 100);
    ASSERT_TRUE(Sane(session.Render(512)));
    if (random() % 50 != 0) continue;

    SCOPED_TRACE(testing::Message() << "block " << block);
    ++checked;
    // The program chunk carries the parameters.
    const std::vector<uint8_t> saved = session.Chunk(1);
    ASSERT_FALSE(saved.empty());
    Instance first(44100.0f, 512), second(44100.0f, 512);
    ASSERT_EQ(first.Restore(1, saved), 1);
    EXPECT_EQ(Readback(first), Readback(session));
    EXPECT_EQ(Displays(first), Displays(session));
    EXPECT_EQ(first.Chunk(1), saved) << "saving a restored state gives the same bytes";
    // A chain of restores changes nothing either.
    ASSERT_EQ(second.Restore(1, first.Chunk(1)), 1);
    EXPECT_EQ(Readback(second), Readback(session));
    const std::vector<float> a = PlayPhrase(first), b = PlayPhrase(second);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(Sane(a));
    // The bank chunk holds no programs (there are none), only its header:
    // restoring it is accepted and changes nothing.
    const std::vector<float> before = Readback(first);
    EXPECT_EQ(first.Restore(0, session.Chunk(0)), 1);
    EXPECT_EQ(Readback(first), before);
    if (HasFatalFailure() || HasNonfatalFailure()) break;
  }
  EXPECT_GT(checked, 10);
}

// A state restored into a playing instance takes effect at once: its next
// hit sounds like the next hit of an instance that was set up that way.
TEST_F(StateBattery, RestoreIntoAPlayingInstanceMatchesAFreshOne) {
  Instance source(48000.0f, 256);
  std::mt19937 random(3);
  for (int32_t i = 0; i <= 10; ++i) source.Set(i, float(random() % 1000) / 999.0f);
  const std::vector<uint8_t> state = source.Chunk(1);

  Instance playing(48000.0f, 256), fresh(48000.0f, 256);
  for (int block = 0; block < 200; ++block) {
    if (block % 40 == 0) playing.Midi(5, 0x90, 50, 90);
    playing.Render(256);
  }
  ASSERT_EQ(playing.Restore(1, state), 1);
  ASSERT_EQ(fresh.Restore(1, state), 1);
  EXPECT_EQ(Readback(playing), Readback(fresh));
  EXPECT_EQ(playing.Chunk(1), fresh.Chunk(1));
}

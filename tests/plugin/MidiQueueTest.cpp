#include <gtest/gtest.h>

#include "plugin/MidiQueue.h"

namespace {
MidiMsg At(int32_t offset, uint8_t tag = 0) {
  MidiMsg m;
  m.offset = offset;
  m.data1 = tag;
  return m;
}
std::vector<std::pair<int, int>> Unread(MidiQueue& q) {
  q.Sort();
  std::vector<std::pair<int, int>> out;
  for (int32_t i = q.ReadPosition(); i < q.Count(); ++i) out.push_back({q.At(i).offset, q.At(i).data1});
  return out;
}
}  // namespace

TEST(MidiQueue, KeepsOffsetOrderAndArrivalOrderForTies) {
  MidiQueue q;
  q.Add(At(5, 1));
  q.Add(At(20, 2));
  q.Add(At(10, 3));
  q.Add(At(10, 4));
  q.Add(At(0, 5));
  EXPECT_EQ(Unread(q), (std::vector<std::pair<int, int>>{{0, 5}, {5, 1}, {10, 3}, {10, 4}, {20, 2}}));
}

TEST(MidiQueue, NeverInsertsBeforeConsumedEntries) {
  MidiQueue q;
  q.Add(At(5, 1));
  q.Add(At(8, 2));
  q.Remove();
  q.Add(At(1, 3));  // late arrival for an earlier frame
  EXPECT_EQ(Unread(q), (std::vector<std::pair<int, int>>{{1, 3}, {8, 2}}));
}

TEST(MidiQueue, FlushDropsConsumedAndShiftsOffsets) {
  MidiQueue q;
  q.Add(At(3));
  q.Add(At(70));
  q.Remove();
  q.Flush(64);
  EXPECT_EQ(q.ReadPosition(), 0);
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.Peek().offset, 6);
  q.Add(At(INT32_MIN));
  q.Sort();
  q.Flush(64);  // saturates instead of wrapping
  EXPECT_EQ(q.At(0).offset, INT32_MIN);
}

TEST(MidiQueue, GrowsOnlyWhenNothingCanBeCompacted) {
  MidiQueue grow;
  for (int i = 0; i < 1024; ++i) grow.Add(At(i));
  EXPECT_EQ(grow.Capacity(), 1024);
  grow.Add(At(2000));
  EXPECT_EQ(grow.Capacity(), 2048);

  MidiQueue compact;
  for (int i = 0; i < 1024; ++i) compact.Add(At(i));
  for (int i = 0; i < 10; ++i) compact.Remove();
  compact.Add(At(2000));
  EXPECT_EQ(compact.Capacity(), 1024);
  EXPECT_EQ(compact.Count(), 1015);
  EXPECT_EQ(compact.Peek().offset, 10);

  MidiQueue none(1024, 0);
  for (int i = 0; i < 1024; ++i) none.Add(At(i));
  EXPECT_FALSE(none.Add(At(5000)));  // no growth step: dropped, queue intact
  EXPECT_EQ(none.Count(), 1024);
}

TEST(MidiQueue, ResizeForBlockRoundsToPages) {
  MidiQueue q;
  EXPECT_EQ(q.ResizeForBlock(1024), 1024);
  EXPECT_EQ(q.GrowthStep(), 1024);
  EXPECT_EQ(q.ResizeForBlock(100), 512);
  EXPECT_EQ(q.GrowthStep(), 512);
  EXPECT_EQ(q.ResizeForBlock(600), 1024);
  EXPECT_EQ(q.GrowthStep(), 1024);
  for (int i = 0; i < 700; ++i) q.Add(At(i));
  EXPECT_EQ(q.ResizeForBlock(100), 1024);
  EXPECT_EQ(q.GrowthStep(), 512);
  EXPECT_EQ(q.Count(), 700);
  EXPECT_EQ(q.ResizeForBlock(0), 1024);  // nonsense block size changes nothing
  EXPECT_EQ(q.GrowthStep(), 512);
}

TEST(MidiQueue, SortsLongListsInAnyOrderKeepingTiesInArrivalOrder) {
  MidiQueue q;
  constexpr int kCount = 10000;
  for (int i = kCount - 1; i >= 0; --i) {
    q.Add(At(i / 2, uint8_t(i % 2)));  // pairs per frame, the 1 before the 0
  }
  q.Add(At(-5, 9));  // a late message still lands before everything unread
  const auto unread = Unread(q);
  ASSERT_EQ(unread.size(), size_t(kCount + 1));
  EXPECT_EQ(unread.front(), (std::pair<int, int>{-5, 9}));
  for (size_t i = 1; i < unread.size(); i += 2) {
    EXPECT_EQ(unread[i], (std::pair<int, int>{int(i / 2), 1})) << i;
    EXPECT_EQ(unread[i + 1], (std::pair<int, int>{int(i / 2), 0})) << i;
  }
}

TEST(MidiQueue, DropsMessagesBeyondTheHorizonAndBeyondItsSize) {
  MidiQueue q;
  EXPECT_TRUE(q.Add(At(MidiQueue::kHorizonFrames)));
  EXPECT_FALSE(q.Add(At(MidiQueue::kHorizonFrames + 1)));
  EXPECT_FALSE(q.Add(At(INT32_MAX)));
  int32_t added = 1;
  while (q.Add(At(added))) ++added;
  EXPECT_EQ(added, MidiQueue::kMaxEntries);
  EXPECT_EQ(q.Count(), MidiQueue::kMaxEntries);
  q.Remove();
  EXPECT_TRUE(q.Add(At(7)));  // room again once something was played
}

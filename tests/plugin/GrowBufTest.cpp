#include <gtest/gtest.h>

#include "base/GrowBuf.h"
#include "base/PtrList.h"
#include "base/TextBuf.h"

TEST(GrowBuf, SmallGranularityGrowsByHalfOrGranularity) {
  GrowBuf buf(16);
  ASSERT_TRUE(buf.Resize(10));
  EXPECT_EQ(buf.Capacity(), 10 + 16);  // granularity beats size/2
  ASSERT_TRUE(buf.Resize(100));
  EXPECT_EQ(buf.Capacity(), 100 + 50);
  ASSERT_TRUE(buf.Resize(140));  // fits: no change
  EXPECT_EQ(buf.Capacity(), 150);
}

TEST(GrowBuf, PageGranularityRoundsToPagesLessHeader) {
  EXPECT_EQ(GrowBuf::CapacityFor(100, 4096, 0), 4096 - 96);
  EXPECT_EQ(GrowBuf::CapacityFor(4000, 4096, 0), 8192 - 96);
  // Step is half the size, rounded down to pages: 10000 + 4096 + 96 -> 12288.
  EXPECT_EQ(GrowBuf::CapacityFor(10000, 4096, 0), 12288 - 96);
  // Step never exceeds 4 MiB.
  EXPECT_EQ(GrowBuf::CapacityFor(100000000, 4096, 0), (100000000 + 4194304 + 96) / 4096 * 4096 - 96);
  EXPECT_EQ(GrowBuf::CapacityFor(10, 16, 1000), 1000);                // minimum capacity
  EXPECT_EQ(GrowBuf::CapacityFor(int64_t(2146000000), 4096, 0), -1);  // beyond 31 bits
}

TEST(GrowBuf, ShrinksOnlyWellBelowCapacity) {
  GrowBuf buf(16);
  ASSERT_TRUE(buf.Resize(1000));
  const int32_t big = buf.Capacity();
  ASSERT_TRUE(buf.Resize(800));
  EXPECT_EQ(buf.Capacity(), big);  // not below half the capacity
  ASSERT_TRUE(buf.Resize(100, false));
  EXPECT_EQ(buf.Capacity(), big);  // shrinking not allowed
  ASSERT_TRUE(buf.Resize(800, false));
  ASSERT_TRUE(buf.Resize(100));
  EXPECT_EQ(buf.Capacity(), 100 + 50);
}

TEST(GrowBuf, ZeroedFormAndFailureKeepData) {
  GrowBuf buf(16);
  ASSERT_TRUE(buf.Append("abc", 3));
  ASSERT_TRUE(buf.ResizeZeroed(8));
  EXPECT_EQ(0, std::memcmp(buf.Data(), "abc\0\0\0\0\0", 8));
  EXPECT_FALSE(buf.Resize(-1));
  EXPECT_FALSE(buf.Resize(INT32_MAX));  // capacity would not fit
  EXPECT_EQ(buf.Size(), 8);
  EXPECT_EQ(0, std::memcmp(buf.Data(), "abc", 3));
  EXPECT_FALSE(buf.Append(nullptr, 4));
  EXPECT_FALSE(buf.Append("x", -1));
}

struct Counted {
  explicit Counted(std::vector<int>& log, int id) : log(log), id(id) {}
  ~Counted() { log.push_back(id); }
  std::vector<int>& log;
  int id;
};

TEST(PtrList, OwnsAndDeletesLastToFirst) {
  std::vector<int> log;
  {
    PtrList<Counted> list;
    for (int i = 0; i < 3; ++i) list.Add(new Counted(log, i));
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.Get(3), nullptr);
    list.Insert(0, new Counted(log, 9));
    EXPECT_EQ(list.Get(0)->id, 9);
    delete list.Take(0);
  }
  EXPECT_EQ(log, (std::vector<int>{9, 2, 1, 0}));
}

TEST(TextBuf, CopiesUpToZeroAndLimit) {
  TextBuf text;
  EXPECT_STREQ(text.Get(), "");
  text.Set("hello world", 5);
  EXPECT_STREQ(text.Get(), "hello");
  text.Set("hi");
  EXPECT_STREQ(text.Get(), "hi");
  text.Set(nullptr);
  EXPECT_TRUE(text.Empty());
  text.Set("ab");
  text.Append("cd");
  EXPECT_TRUE(text.Equals("abcd"));
}

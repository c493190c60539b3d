#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "instrument/voice/ClickWave.h"
#include "instrument/voice/ShaperCurve.h"

namespace {

struct TableRow {
  int index;
  float value;
};

}  // namespace

TEST(ClickTable, PassesThroughTheRecordedValues) {
  const TableRow rows[] = {
      {0, 0.0003378601f},   {5, -0.09619472f},    {10, -0.3737445f},    {30, -0.5441015f},  {100, -0.2374064f},
      {200, -0.05893717f},  {225, -0.04165707f},  {228, -0.005916813f}, {231, 0.3805795f},  {234, 0.9105587f},
      {237, 1.102138f},     {243, 0.6476035f},    {300, 0.2725476f},    {400, 0.05558648f}, {500, 0.01163056f},
      {700, 0.0009162636f}, {999, 0.0004309626f},
  };
  for (const TableRow& row : rows) EXPECT_EQ(kClickTable[row.index], row.value) << row.index;
}

TEST(ClickTable, HasTheShapeOfTheClick) {
  const float* begin = kClickTable;
  const float* end = kClickTable + kClickTableLength;
  EXPECT_EQ(std::min_element(begin, end) - begin, 30);
  EXPECT_EQ(std::max_element(begin, end) - begin, 237);
  EXPECT_LT(std::fabs(kClickTable[0]), 0.001f);
  for (int k = 1; k <= 30; ++k) ASSERT_LT(kClickTable[k], kClickTable[k - 1]) << k;    // the negative swing
  for (int k = 31; k <= 237; ++k) ASSERT_GT(kClickTable[k], kClickTable[k - 1]) << k;  // relaxing, then the pulse
  for (int k = 238; k < kClickTableLength; ++k) {
    ASSERT_LT(kClickTable[k], kClickTable[k - 1]) << k;  // the decay
    ASSERT_GT(kClickTable[k], 0.0f) << k;
  }
  // Exponential toward a small constant: the last hundred entries barely move.
  EXPECT_LT(kClickTable[899] - kClickTable[999], 0.0001f);
}

TEST(ShaperTable, PassesThroughTheRecordedValues) {
  const TableRow rows[] = {
      {0, -0.5605323f},   {100, -0.5448655f}, {200, -0.5216270f},  {300, -0.4776240f},
      {400, -0.3193641f}, {450, -0.1621325f}, {490, -0.03245194f}, {495, -0.01622618f},
      {500, 0.0f},        {600, 0.3193641f},  {800, 0.5216270f},   {1000, 0.5605323f},
  };
  for (const TableRow& row : rows) EXPECT_EQ(kShaperTable[row.index], row.value) << row.index;
}

TEST(ShaperTable, IsOddStrictlyIncreasingAndSaturating) {
  EXPECT_EQ(kShaperTable[500], 0.0f);
  for (int k = 0; k < kShaperTableLength; ++k) ASSERT_EQ(kShaperTable[1000 - k], -kShaperTable[k]) << k;
  for (int k = 1; k < kShaperTableLength; ++k) ASSERT_GT(kShaperTable[k], kShaperTable[k - 1]) << k;
  const float slopeAtZero = (kShaperTable[501] - kShaperTable[499]) / (2 * 0.018f);
  EXPECT_NEAR(slopeAtZero, 0.18f, 0.005f);
  const float slopeAtEnd = (kShaperTable[1000] - kShaperTable[999]) / 0.018f;
  EXPECT_LT(slopeAtEnd, slopeAtZero / 10);
}

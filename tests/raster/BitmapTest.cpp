#include <gtest/gtest.h>

#include <cstdint>

#include "raster/RasterBitmap.h"

TEST(MemBitmap, RowSpanRoundsWidthUpToFourPixels) {
  MemBitmap five(5, 2), eight(8, 1), none;
  EXPECT_EQ(five.RowSpan(), 8);
  EXPECT_EQ(eight.RowSpan(), 8);
  EXPECT_EQ(none.RowSpan(), 0);
  EXPECT_EQ(none.PixelData(), nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(five.PixelData()) % 64, 0u);
}

TEST(MemBitmap, GrowsWithHeadroomAndNeverReallocatesToShrink) {
  MemBitmap bitmap(10, 10);
  EXPECT_EQ(bitmap.AllocatedBytes(), 480);  // 10 rows of 12 pixels
  EXPECT_FALSE(bitmap.SetSize(10, 10));

  EXPECT_TRUE(bitmap.SetSize(20, 20));  // needs 1600
  EXPECT_EQ(bitmap.AllocatedBytes(), 2000);
  Pixel32* grown = bitmap.PixelData();
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(grown) % 64, 0u);

  EXPECT_TRUE(bitmap.SetSize(5, 5));
  EXPECT_EQ(bitmap.PixelData(), grown);
  EXPECT_EQ(bitmap.AllocatedBytes(), 2000);
  EXPECT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.Height(), 5);

  EXPECT_TRUE(bitmap.SetSize(0, 7));  // nothing to store: no storage, 0 x 0
  EXPECT_EQ(bitmap.PixelData(), nullptr);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
}

TEST(MemBitmap, AbsurdSizesLeaveAnEmptyBitmap) {
  const int32_t absurd[][2] = {{-1, 10}, {10, -1}, {INT32_MAX, 2}, {100000, 100000}, {2, INT32_MAX}};
  for (const auto& size : absurd) {
    MemBitmap bitmap(4, 4);
    bitmap.SetSize(size[0], size[1]);
    EXPECT_EQ(bitmap.Width(), 0) << size[0] << " x " << size[1];
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.PixelData(), nullptr);
    EXPECT_TRUE(bitmap.SetSize(3, 3));  // and it stays usable
    EXPECT_NE(bitmap.PixelData(), nullptr);
  }
}

TEST(SysBitmap, KeepsStorageAndRowSpanWhenShrinking) {
  SysBitmap bitmap(5, 4);
  EXPECT_EQ(bitmap.RowSpan(), 8);
  EXPECT_EQ(bitmap.DeviceContext(), nullptr);
  EXPECT_FALSE(bitmap.IsBottomUp());
  Pixel32* pixels = bitmap.PixelData();
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(pixels[0], 0u);

  EXPECT_TRUE(bitmap.SetSize(3, 2));
  EXPECT_EQ(bitmap.RowSpan(), 8);
  EXPECT_EQ(bitmap.PixelData(), pixels);
  EXPECT_FALSE(bitmap.SetSize(3, 2));

  EXPECT_TRUE(bitmap.SetSize(9, 2));  // wider than allocated: new storage
  EXPECT_EQ(bitmap.RowSpan(), 12);
  EXPECT_NE(bitmap.PixelData(), nullptr);

  EXPECT_FALSE(bitmap.SetSize(0, 2));  // an empty side frees the pixels
  EXPECT_EQ(bitmap.PixelData(), nullptr);
}

TEST(SysBitmap, AbsurdSizesLeaveAnEmptyBitmap) {
  SysBitmap bitmap(4, 4);
  bitmap.SetSize(-5, 4);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.PixelData(), nullptr);
  bitmap.SetSize(70000, 70000);
  EXPECT_EQ(bitmap.Height(), 0);
  EXPECT_EQ(bitmap.PixelData(), nullptr);
  EXPECT_TRUE(bitmap.SetSize(2, 2));
  EXPECT_NE(bitmap.PixelData(), nullptr);
}

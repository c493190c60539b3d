#pragma once
#include <cstdint>

#include "raster/RasterBitmap.h"

// Pixel (x, y) in image order, whichever way the bitmap stores its rows.
inline Pixel32& PixelAt(const RasterBitmap& bitmap, int32_t x, int32_t y) {
  const int32_t row = bitmap.IsBottomUp() ? bitmap.Height() - 1 - y : y;
  return bitmap.PixelData()[row * bitmap.RowSpan() + x];
}

inline void FillAll(RasterBitmap& bitmap, Pixel32 value) {
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x) PixelAt(bitmap, x, y) = value;
}

// A memory bitmap that stores its rows bottom-up.
class BottomUpBitmap : public MemBitmap {
public:
  using MemBitmap::MemBitmap;
  bool IsBottomUp() const override { return true; }
};

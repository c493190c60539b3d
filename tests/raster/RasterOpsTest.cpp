#include <gtest/gtest.h>

#include <cstdint>

#include "raster/RasterOps.h"
#include "tests/raster/RasterTestSupport.h"

namespace {

// Blits one source pixel onto one destination pixel; returns the result.
Pixel32 BlitOne(Pixel32 dest, Pixel32 source, float weight, int32_t mode) {
  MemBitmap d(1, 1), s(1, 1);
  d.PixelData()[0] = dest;
  s.PixelData()[0] = source;
  RasterBlit(&d, &s, 0, 0, nullptr, weight, mode);
  return d.PixelData()[0];
}

Pixel32 FillOne(Pixel32 dest, Pixel32 color, float weight, int32_t mode) {
  MemBitmap d(1, 1);
  d.PixelData()[0] = dest;
  RasterFill(&d, 0, 0, 1, 1, color, weight, mode);
  return d.PixelData()[0];
}

}  // namespace

TEST(RasterBlit, PlainCopyWeights) {
  EXPECT_EQ(BlitOne(0x11223344, 0x05060708, 1.0f, BlendCopy), 0x05060708u);
  EXPECT_EQ(BlitOne(0x02040608, 0x10203040, 0.5f, BlendCopy), 0x09121B24u);
  EXPECT_EQ(BlitOne(0x00000000, 0xFFFFFFFF, 0.5f, BlendCopy), 0x7F7F7F7Fu);
  // w = 64: s + (d - s) * 192 / 256, truncated toward zero (10 - 7 = 3, not 2).
  EXPECT_EQ(BlitOne(0x0064C800, 0x00C8640A, 0.25f, BlendCopy), 0x007DAF03u);
  EXPECT_EQ(BlitOne(0x11223344, 0x55667788, 0.0f, BlendCopy), 0x11223344u);
  EXPECT_EQ(BlitOne(0x11223344, 0x55667788, -0.5f, BlendCopy), 0x11223344u);
}

TEST(RasterBlit, CopyWithSourceAlpha) {
  const int32_t mode = UseSourceAlpha | BlendCopy;
  EXPECT_EQ(BlitOne(0x80123456, 0x00FFFFFF, 1.0f, mode), 0x80123456u);  // transparent: unchanged
  EXPECT_EQ(BlitOne(0x00123456, 0xFFABCDEF, 1.0f, mode), 0xFFABCDEFu);  // opaque: replaced
  // a = 128 at full weight: colour keeps (255 - a) / 256 of the destination.
  EXPECT_EQ(BlitOne(0xFF0000FF, 0x80FF0000, 1.0f, mode), 0xFF81007Eu);
  EXPECT_EQ(BlitOne(0x10000000, 0x80000000, 1.0f, mode), 0x90000000u);
  // Half weight, opaque source: k = 128.
  EXPECT_EQ(BlitOne(0x00646464, 0xFFC8C8C8, 0.5f, mode), 0x80969696u);
}

TEST(RasterBlit, AddAndDodgeWithSourceAlpha) {
  EXPECT_EQ(BlitOne(0xFF808080, 0xFFFFFFFF, 1.0f, UseSourceAlpha | BlendAdd), 0xFFFFFFFFu);
  EXPECT_EQ(BlitOne(0x00000000, 0xFF102030, 1.0f, UseSourceAlpha | BlendAdd), 0xFF102030u);
  // a = 128: k = 129, red 16 * 129 / 256 = 8, alpha 128 * 129 / 256 = 64.
  EXPECT_EQ(BlitOne(0x00000000, 0x80100000, 1.0f, UseSourceAlpha | BlendAdd), 0x40080000u);
  EXPECT_EQ(BlitOne(0x12345678, 0x00FFFFFF, 1.0f, UseSourceAlpha | BlendAdd), 0x12345678u);
  // Dodge: s = 128 doubles d; s = 255 saturates any non-zero channel.
  EXPECT_EQ(BlitOne(0x01640164, 0xFF80FF00, 1.0f, UseSourceAlpha | BlendDodge), 0xFFC8FF64u);
}

TEST(RasterBlit, ClipsOnEveryEdge) {
  MemBitmap source(4, 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) PixelAt(source, x, y) = 0xFF000000 | (y << 8) | x;
  MemBitmap dest(6, 5);
  const struct { int32_t x, y; } positions[] = {{-2, -1}, {4, 3}, {-3, 2}, {5, -3}, {6, 0}, {0, 5}, {-4, 0}};
  for (const auto& at : positions) {
    FillAll(dest, 0x11111111);
    RasterBlit(&dest, &source, at.x, at.y, nullptr, 1.0f, BlendCopy);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 6; ++x) {
        const int32_t sx = x - at.x, sy = y - at.y;
        const bool covered = sx >= 0 && sx < 4 && sy >= 0 && sy < 4;
        const Pixel32 want = covered ? Pixel32(0xFF000000 | (sy << 8) | sx) : 0x11111111u;
        EXPECT_EQ(PixelAt(dest, x, y), want) << at.x << "," << at.y << " pixel " << x << "," << y;
      }
  }
}

TEST(RasterBlit, SourceRectangleIsLimitedAndShiftsForNegativeCorners) {
  MemBitmap source(4, 4), dest(8, 8);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) PixelAt(source, x, y) = 0xFF000000 | (y << 8) | x;
  FillAll(dest, 0);
  const RasterRect rect{-1, 1, 10, 3};  // left -1 moves x right by 1; right limited to 4
  RasterBlit(&dest, &source, 2, 2, &rect, 1.0f, BlendCopy);
  EXPECT_EQ(PixelAt(dest, 2, 2), 0u);
  EXPECT_EQ(PixelAt(dest, 3, 2), 0xFF000100u);
  EXPECT_EQ(PixelAt(dest, 6, 3), 0xFF000203u);
  EXPECT_EQ(PixelAt(dest, 7, 2), 0u);
  EXPECT_EQ(PixelAt(dest, 3, 4), 0u);

  const RasterRect hostile{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  RasterBlit(&dest, &source, INT32_MAX, INT32_MAX, &hostile, 1.0f, BlendCopy);
  RasterBlit(&dest, &source, INT32_MIN, INT32_MIN, nullptr, 0.3f, UseSourceAlpha);
  RasterBlit(nullptr, &source, 0, 0, nullptr, 1.0f, BlendCopy);
  RasterBlit(&dest, nullptr, 0, 0, nullptr, 1.0f, BlendCopy);
  MemBitmap empty;
  RasterBlit(&dest, &empty, 0, 0, nullptr, 1.0f, BlendCopy);
  RasterBlit(&empty, &source, 0, 0, nullptr, 1.0f, BlendCopy);
  EXPECT_EQ(PixelAt(dest, 3, 2), 0xFF000100u);
}

TEST(RasterBlit, HonoursBottomUpBitmaps) {
  MemBitmap source(2, 3);
  BottomUpBitmap dest(2, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 2; ++x) PixelAt(source, x, y) = Pixel32(y * 2 + x + 1);
  FillAll(dest, 0);
  RasterBlit(&dest, &source, 0, 1, nullptr, 1.0f, BlendCopy);
  EXPECT_EQ(PixelAt(dest, 0, 0), 0u);
  EXPECT_EQ(PixelAt(dest, 0, 1), 1u);
  EXPECT_EQ(PixelAt(dest, 1, 2), 4u);
  EXPECT_EQ(dest.PixelData()[0], 3u);  // image row 2 is the first stored row
}

TEST(RasterFill, CopyShortcutsAndGeneralPath) {
  EXPECT_EQ(FillOne(0x12345678, 0xFF000000, 1.0f, BlendCopy), 0xFF000000u);
  EXPECT_EQ(FillOne(0x12345678, 0xFF000000, 1.0f, UseSourceAlpha), 0xFF000000u);
  EXPECT_EQ(FillOne(0x00000000, 0xFFFFFFFF, 0.5f, BlendCopy), 0x7F7F7F7Fu);
  EXPECT_EQ(FillOne(0x00000000, 0xFFFFFFFF, 0.25f, BlendCopy), 0x3F3F3F3Fu);
  EXPECT_EQ(FillOne(0xFFFFFFFF, 0xFFFFFFFF, 0.25f, BlendCopy), 0xFDFDFDFDu);
  EXPECT_EQ(FillOne(0x00000000, 0xFFFFFFFF, 0.75f, BlendCopy), 0xBEBEBEBEu);
  // Alpha 128 scales weight 1.0 to 128.5 / 256, which takes the halving shortcut.
  EXPECT_EQ(FillOne(0x00000000, 0x80FFFFFF, 1.0f, UseSourceAlpha), 0x407F7F7Fu);
  // w = 32: red (0 - 200) * 224 / 256 + 200 = 25; alpha 32 - 28 = 4.
  EXPECT_EQ(FillOne(0x00000000, 0x00C80000, 0.125f, BlendCopy), 0x04190000u);
  EXPECT_EQ(FillOne(0x12345678, 0x00FFFFFF, 1.0f, UseSourceAlpha), 0x12345678u);
  EXPECT_EQ(FillOne(0x12345678, 0xFFFFFFFF, 0.001f, BlendCopy), 0x12345678u);
}

TEST(RasterFill, AddAndDodge) {
  EXPECT_EQ(FillOne(0xFF000000, 0x00FF8000, 0.5f, BlendAdd), 0xFF7F4000u);
  EXPECT_EQ(FillOne(0x00F0F0F0, 0x00FFFFFF, 1.0f, BlendAdd), 0xFFFFFFFFu);
  EXPECT_EQ(FillOne(0x00640064, 0x00800000, 1.0f, BlendDodge), 0x00C80064u);
  EXPECT_EQ(FillOne(0x01000000, 0x00000000, 1.0f, BlendDodge), 0xFF000000u);
}

TEST(RasterFill, ClipsToTheBitmap) {
  MemBitmap dest(5, 4);
  const struct {
    int32_t x, y, w, h;
  } rects[] = {{-2, -1, 4, 3},
               {3, 2, 10, 10},
               {5, 0, 3, 3},
               {0, -4, 5, 4},
               {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
               {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
               {1, 1, -3, 2}};
  for (const auto& r : rects) {
    FillAll(dest, 0);
    RasterFill(&dest, r.x, r.y, r.w, r.h, 0xFFFFFFFF, 1.0f, BlendCopy);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 5; ++x) {
        const bool inside = r.w > 0 && r.h > 0 && int64_t(x) >= r.x && int64_t(x) < int64_t(r.x) + r.w &&
                            int64_t(y) >= r.y && int64_t(y) < int64_t(r.y) + r.h;
        EXPECT_EQ(PixelAt(dest, x, y), inside ? 0xFFFFFFFFu : 0u) << r.x << "," << r.y << " at " << x << "," << y;
      }
  }
  RasterFill(nullptr, 0, 0, 1, 1, 0xFFFFFFFF, 1.0f, BlendCopy);
  MemBitmap empty;
  RasterFill(&empty, 0, 0, 1, 1, 0xFFFFFFFF, 1.0f, BlendCopy);
}

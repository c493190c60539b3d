#pragma once
#include <cstdint>

#include "raster/RasterBitmap.h"

// Combine modes for RasterBlit and RasterFill.
constexpr int32_t BlendCopy = 0;
constexpr int32_t BlendAdd = 1;
constexpr int32_t BlendDodge = 2;
// Flag: scale the weight per pixel by the source alpha (blit) or once by the
// colour's alpha (fill).
constexpr int32_t UseSourceAlpha = 0x10000;

// Combines sourceRect of source (the whole source when null) into dest with
// its top-left corner at (x, y). weight is 0..1. Clips on every edge; does
// nothing for absent bitmaps or bitmaps without storage.
void RasterBlit(RasterBitmap* dest, const RasterBitmap* source, int32_t x, int32_t y, const RasterRect* sourceRect,
                float weight, int32_t mode);

// Combines color (0xAARRGGBB) into the rectangle (x, y, width, height) of dest.
void RasterFill(RasterBitmap* dest, int32_t x, int32_t y, int32_t width, int32_t height, Pixel32 color, float weight,
                int32_t mode);

// weight x 256 truncated toward zero, held within 0..256.
int32_t RasterIntegerWeight(float weight);

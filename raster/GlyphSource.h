#pragma once
#include <cstdint>

#include "base/GrowBuf.h"
#include "raster/RasterFont.h"

// The platform's character rasteriser behind CachedFont.

struct GlyphImage {
  int32_t advance = 0;
  int32_t maskWidth = 0;
  int32_t maskHeight = 0;
  // The mask's first row relative to the top of the line: below 0 when marks
  // above a capital rise over the font's cell. The mask still ends at the
  // cell's bottom (maskTop + maskHeight = line height).
  int32_t maskTop = 0;
};

// True when the font has its own glyph for code (no stand-in box).
bool NativeFontHasChar(NativeFontHandle font, uint32_t code);

// Line height of the font in pixels; 0 without a font.
int32_t NativeFontLineHeight(NativeFontHandle font);

// Renders one character white on black into a mask of maskWidth x maskHeight
// coverage bytes (0..255) appended to pixels, the glyph standing on the
// font's baseline; the mask covers the line height and any rows above it
// that the glyph reaches (maskTop). maskWidth is the advance, plus 2 for the capitals A-Z.
// False when the character cannot be rendered (nothing is appended).
bool RenderNativeGlyph(NativeFontHandle font, uint32_t code, GrowBuf* pixels, GlyphImage* image);

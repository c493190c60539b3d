#pragma once
// Process-wide scratch bitmaps for GDI text, each with its own device context.
#include <mutex>

#include "raster/RasterBitmap.h"

namespace rasterwin {

// Where single glyphs are rendered white on black. Use under GlyphLock().
SysBitmap& GlyphScratch();
std::mutex& GlyphLock();

// Where text for a bitmap without a device context is drawn. Use under
// TextLock().
SysBitmap& TextScratch();
std::mutex& TextLock();

// Grows the glyph scratch to at least width x height and sets up its context
// for white text on an opaque black background. False without pixels.
bool PrepareGlyphScratch(int32_t width, int32_t height);

}  // namespace rasterwin

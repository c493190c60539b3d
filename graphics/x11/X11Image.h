#pragma once
// Puts 32-bit raster pixels on an X drawable of the screen's default visual.
#include "graphics/x11/XlibHeaders.h"

#include "graphics/GuiTypes.h"

class RasterBitmap;

class X11ImagePainter {
public:
  X11ImagePainter(Display* display, Visual* visual, int depth);

  // Copies the part of source inside the bitmap to (destX, destY) plus the
  // clipped offset. A visual that is not 24-bit true colour gets a converted
  // copy, slower but the same picture.
  void Put(Drawable drawable, GC gc, const RasterBitmap& bitmap, const PixelRect& source, int destX, int destY) const;

private:
  void PutConverted(Drawable drawable, GC gc, const RasterBitmap& bitmap, const PixelRect& part, int destX,
                    int destY) const;

  Display* display_;
  Visual* visual_;
  int depth_;
  bool direct_;  // the pixels can go to the server as they are
};

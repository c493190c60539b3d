#include "graphics/x11/X11Image.h"

#include <bit>
#include <cstdint>
#include <vector>

#include "raster/RasterBitmap.h"

namespace {

// Places an 8-bit channel under a visual's channel mask.
unsigned long ScaleToMask(uint32_t channel, unsigned long mask) {
  if (!mask) return 0;
  const int shift = std::countr_zero(mask);
  const unsigned long bits = mask >> shift;
  return ((channel * bits + 127) / 255) << shift;
}

}  // namespace

X11ImagePainter::X11ImagePainter(Display* display, Visual* visual, int depth)
    : display_(display), visual_(visual), depth_(depth) {
  direct_ = visual && (depth == 24 || depth == 32) && visual->c_class == TrueColor && visual->red_mask == 0xFF0000 &&
            visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

void X11ImagePainter::Put(Drawable drawable, GC gc, const RasterBitmap& bitmap, const PixelRect& source, int destX,
                          int destY) const {
  Pixel32* pixels = bitmap.PixelData();
  if (!display_ || !drawable || !pixels || bitmap.IsBottomUp()) return;
  PixelRect part = RectIntersection(source, PixelRect{0, 0, bitmap.Width(), bitmap.Height()});
  if (part.Width() <= 0 || part.Height() <= 0) return;
  destX += part.left - source.left;
  destY += part.top - source.top;
  if (!direct_) {
    PutConverted(drawable, gc, bitmap, part, destX, destY);
    return;
  }
  XImage* image = XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0, reinterpret_cast<char*>(pixels),
                               unsigned(bitmap.Width()), unsigned(bitmap.Height()), 32, bitmap.RowSpan() * 4);
  if (!image) return;
  // The pixels are 0xAARRGGBB words in this machine's byte order; Xlib swaps
  // them for a server of the other order.
  image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
  XPutImage(display_, drawable, gc, image, part.left, part.top, destX, destY, unsigned(part.Width()),
            unsigned(part.Height()));
  image->data = nullptr;  // the bitmap keeps its pixels
  XDestroyImage(image);
}

void X11ImagePainter::PutConverted(Drawable drawable, GC gc, const RasterBitmap& bitmap, const PixelRect& part,
                                   int destX, int destY) const {
  XImage* image = XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0, nullptr, unsigned(part.Width()),
                               unsigned(part.Height()), 32, 0);
  if (!image) return;
  std::vector<char> storage(size_t(image->bytes_per_line) * size_t(part.Height()));
  image->data = storage.data();
  for (int32_t y = 0; y < part.Height(); ++y) {
    const Pixel32* row = bitmap.PixelData() + int64_t(part.top + y) * bitmap.RowSpan() + part.left;
    for (int32_t x = 0; x < part.Width(); ++x) {
      const Pixel32 p = row[x];
      XPutPixel(image, x, y,
                ScaleToMask((p >> 16) & 0xFF, visual_->red_mask) | ScaleToMask((p >> 8) & 0xFF, visual_->green_mask) |
                    ScaleToMask(p & 0xFF, visual_->blue_mask));
    }
  }
  XPutImage(display_, drawable, gc, image, 0, 0, destX, destY, unsigned(part.Width()), unsigned(part.Height()));
  image->data = nullptr;
  XDestroyImage(image);
}

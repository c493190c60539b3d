#include "raster/PngEncode.h"

#include <png.h>

// libpng reports failures by longjmp, so nothing with a destructor lives here.
bool WritePngRows(FILE* file, int32_t width, int32_t height, bool withAlpha, PngRowSource rowBytes, void* context) {
  if (!file || width <= 0 || height <= 0 || !rowBytes) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
               withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) png_write_row(png, rowBytes(context, y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

#include "graphics/EditorSnapshot.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "graphics/Editor.h"
#include "platform/Files.h"
#include "raster/RasterBitmap.h"

namespace {

// One output row: 0xAARRGGBB pixels as R, G, B bytes with opaque alpha.
void ConvertRow(const Pixel32* pixels, int32_t width, png_byte* out) {
  for (int32_t x = 0; x < width; ++x) {
    const Pixel32 p = pixels[x];
    out[4 * x + 0] = png_byte(p >> 16);
    out[4 * x + 1] = png_byte(p >> 8);
    out[4 * x + 2] = png_byte(p);
    out[4 * x + 3] = 0xFF;
  }
}

// Every libpng call that can fail longjmps back here, so nothing with a
// destructor lives inside this function.
bool WritePng(FILE* file, const RasterBitmap& bitmap, png_byte* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const int32_t storedRow = bitmap.IsBottomUp() ? bitmap.Height() - 1 - y : y;
    ConvertRow(bitmap.PixelData() + int64_t(storedRow) * bitmap.RowSpan(), bitmap.Width(), row);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool SaveEditorPng(Editor& editor, const char* path) {
  if (!path || !*path) return false;
  if (!editor.DrawBitmap()) editor.PrepareDrawing();
  for (int32_t i = 0; i < editor.ControlCount(); ++i) editor.ControlAt(i)->MarkDirty(false);
  editor.DrawControls(PixelRect{0, 0, editor.Width(), editor.Height()});

  const RasterBitmap* bitmap = editor.DrawBitmap();
  if (!bitmap || !bitmap->PixelData() || bitmap->Width() <= 0 || bitmap->Height() <= 0) return false;
  std::vector<png_byte> row(size_t(bitmap->Width()) * 4);
  FILE* file = platform::OpenFile(path, "wb");
  if (!file) return false;
  const bool written = WritePng(file, *bitmap, row.data());
  const bool closed = std::fclose(file) == 0;
  if (!(written && closed)) std::remove(path);
  return written && closed;
}

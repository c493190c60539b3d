#pragma once
// Writes PNGs in memory with libpng, for the decoder's tests and benchmarks.
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <vector>

struct PngLayout {
  int width = 1;
  int height = 1;
  int colorType = PNG_COLOR_TYPE_RGBA;
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<uint8_t> transparency;
};

inline void AppendPngBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// Encodes rows of raw samples (as the colour type and bit depth lay them out).
inline std::vector<uint8_t> EncodePng(const PngLayout& layout, std::vector<std::vector<uint8_t>> rows) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendPngBytes, nullptr);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colorType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) png_set_PLTE(png, info, layout.palette.data(), int(layout.palette.size()));
  if (!layout.transparency.empty()) {
    png_set_tRNS(png, info, layout.transparency.data(), int(layout.transparency.size()), nullptr);
  }
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Noisy RGBA rows that compress poorly, so the image data spans many bytes.
inline std::vector<std::vector<uint8_t>> NoiseRows(int width, int height) {
  std::vector<std::vector<uint8_t>> rows(height, std::vector<uint8_t>(width * 4));
  uint32_t state = 12345;
  for (auto& row : rows)
    for (auto& byte : row) byte = uint8_t((state = state * 1103515245 + 12345) >> 16);
  return rows;
}

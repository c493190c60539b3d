#include "tools/host/PngWriter.h"

#include <png.h>

#include <cstdio>

namespace thudra::host {

namespace {

// libpng reports failures by longjmp, so nothing with a destructor lives here.
bool writeRows(FILE* file, int32_t width, int32_t height, const uint8_t* rgb) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y)
    png_write_row(png, rgb + static_cast<size_t>(y) * static_cast<size_t>(width) * 3);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writeRgbPng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb,
                 std::string& error) {
  if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    error = "no picture to write";
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = "cannot create '" + path + "'";
    return false;
  }
  const bool written = writeRows(file, width, height, rgb.data());
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  std::remove(path.c_str());
  error = "cannot write '" + path + "'";
  return false;
}

}  // namespace thudra::host

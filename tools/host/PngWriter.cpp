#include "tools/host/PngWriter.h"

#include <cstdio>
#include <utility>

#include "raster/PngEncode.h"

namespace thudra::host {

namespace {

const uint8_t* RgbRow(void* context, int32_t y) {
  const auto* picture = static_cast<const std::pair<const uint8_t*, int32_t>*>(context);
  return picture->first + static_cast<size_t>(y) * static_cast<size_t>(picture->second) * 3;
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
  std::pair<const uint8_t*, int32_t> picture{rgb.data(), width};
  const bool written = WritePngRows(file, width, height, false, RgbRow, &picture);
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  std::remove(path.c_str());
  error = "cannot write '" + path + "'";
  return false;
}

}  // namespace thudra::host

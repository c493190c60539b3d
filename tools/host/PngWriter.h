// Writes 8-bit RGB pictures as PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace thudra::host {

// `rgb` holds width * height pixels, three bytes each, rows top to bottom.
// On failure returns false with `error` set and leaves no file behind.
bool writeRgbPng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb,
                 std::string& error);

}  // namespace thudra::host

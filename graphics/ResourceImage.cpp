#include "graphics/ResourceImage.h"

#include <cstring>

#include "raster/PngDecode.h"

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const char* text, const char* lowerCase) {
  for (; *text && *lowerCase; ++text, ++lowerCase) {
    if (AsciiLower(*text) != *lowerCase) return false;
  }
  return *text == *lowerCase;
}

}  // namespace

bool IsPngResourceName(const char* name) {
  if (!name || !*name) return false;
  const char* dot = std::strrchr(name, '.');
  return EqualsIgnoringCase(dot ? dot + 1 : name + 1, "png");
}

RasterBitmap* LoadNamedResourceImage(void* moduleInstance, int32_t id, const char* name) {
  if (!IsPngResourceName(name)) return nullptr;
  return LoadPngResourceOnDemand(moduleInstance, id);
}

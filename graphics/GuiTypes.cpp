#include "graphics/GuiTypes.h"

#include <algorithm>
#include <cstdio>

bool RectsOverlap(const PixelRect& a, const PixelRect& b) {
  if (a.IsEmpty() || b.IsEmpty()) return false;
  return a.right >= b.left && a.left < b.right && a.bottom >= b.top && a.top < b.bottom;
}

PixelRect RectUnion(const PixelRect& a, const PixelRect& b) {
  if (b.IsEmpty()) return a;
  if (a.IsEmpty()) return b;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

PixelRect RectIntersection(const PixelRect& a, const PixelRect& b) {
  if (!RectsOverlap(a, b)) return {};
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

void TextStyle::SetFaceName(const char* name) { std::snprintf(faceName, sizeof(faceName), "%s", name ? name : ""); }

// SysBitmap on Windows: a top-down 32-bit DIB section in a memory DC, so GDI
// text and BitBlt work on the same pixels the raster code draws into.
#include <windows.h>

#include <cstdint>

#include "raster/RasterBitmap.h"

SysBitmap::SysBitmap() : SysBitmap(0, 0) {}

SysBitmap::SysBitmap(int32_t width, int32_t height) {
  deviceContext_ = CreateCompatibleDC(nullptr);
  SetSize(width, height);
}

SysBitmap::~SysBitmap() {
  ReleaseStorage();
  if (deviceContext_) DeleteDC(static_cast<HDC>(deviceContext_));
}

void SysBitmap::ReleaseStorage() {
  if (deviceContext_ && previousBitmap_) {
    SelectObject(static_cast<HDC>(deviceContext_), static_cast<HGDIOBJ>(previousBitmap_));
  }
  previousBitmap_ = nullptr;
  if (systemBitmap_) DeleteObject(static_cast<HGDIOBJ>(systemBitmap_));
  systemBitmap_ = nullptr;
  pixels_ = nullptr;
}

bool SysBitmap::SetSize(int32_t width, int32_t height) {
  if (!deviceContext_) {
    width_ = height_ = 0;
    pixels_ = nullptr;
    return false;
  }
  const SizeChange change = PlanSize(width, height);
  if (change != SizeChange::NeedsStorage) return SizeChanged(change);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = allocatedWidth_;
  info.bmiHeader.biHeight = -allocatedHeight_;  // negative: top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    width_ = height_ = allocatedWidth_ = allocatedHeight_ = 0;
    return true;
  }
  systemBitmap_ = bitmap;
  pixels_ = static_cast<Pixel32*>(bits);
  previousBitmap_ = SelectObject(static_cast<HDC>(deviceContext_), bitmap);
  return true;
}

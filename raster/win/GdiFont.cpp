// Windows native fonts: GDI fonts from CreateFontA, glyph masks rendered by
// DrawTextW into a DIB section.
#include <windows.h>

#include <cstring>

#include "raster/GlyphSource.h"
#include "raster/RasterFont.h"
#include "raster/win/GdiScratch.h"

namespace rasterwin {

SysBitmap& GlyphScratch() {
  static SysBitmap scratch;
  return scratch;
}

std::mutex& GlyphLock() {
  static std::mutex lock;
  return lock;
}

SysBitmap& TextScratch() {
  static SysBitmap scratch;
  return scratch;
}

std::mutex& TextLock() {
  static std::mutex lock;
  return lock;
}

bool PrepareGlyphScratch(int32_t width, int32_t height) {
  SysBitmap& scratch = GlyphScratch();
  if (scratch.Width() < width || scratch.Height() < height) {
    const int32_t w = scratch.Width() > width ? scratch.Width() : width;
    const int32_t h = scratch.Height() > height ? scratch.Height() : height;
    scratch.SetSize(w, h);
  }
  HDC dc = static_cast<HDC>(scratch.DeviceContext());
  if (!dc || !scratch.PixelData() || scratch.Width() < width || scratch.Height() < height) return false;
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(0, 0, 0));
  return true;
}

}  // namespace rasterwin

namespace {

// The editor's quality numbers: 0 default, 1 non-antialiased, 2 antialiased,
// 3 ClearType.
DWORD GdiQuality(int32_t quality) {
  switch (quality) {
    case 0:
      return DEFAULT_QUALITY;
    case 2:
      return ANTIALIASED_QUALITY;
    case 3:
      return CLEARTYPE_QUALITY;
    default:
      return NONANTIALIASED_QUALITY;
  }
}

// Glyphs taller or wider than this are refused rather than allocated.
constexpr int32_t kMaxGlyphSide = 4096;

}  // namespace

NativeFontHandle CreateNativeFont(const FontRequest& request) {
  if (request.pixelHeight <= 0 || request.pixelHeight > 2048) return nullptr;
  char face[LF_FACESIZE] = {};
  if (request.faceName) std::strncpy(face, request.faceName, LF_FACESIZE - 1);
  HFONT font = CreateFontA(request.pixelHeight, 0, request.orientation, request.orientation, request.weight,
                           request.italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, GdiQuality(request.quality), DEFAULT_PITCH | FF_DONTCARE, face);
  return font;
}

void DeleteNativeFont(NativeFontHandle font) {
  if (font) DeleteObject(static_cast<HFONT>(font));
}

int32_t NativeFontLineHeight(NativeFontHandle font) {
  if (!font) return 0;
  std::lock_guard<std::mutex> hold(rasterwin::GlyphLock());
  if (!rasterwin::PrepareGlyphScratch(256, 256)) return 0;
  HDC dc = static_cast<HDC>(rasterwin::GlyphScratch().DeviceContext());
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(font));
  TEXTMETRICA metrics{};
  const bool known = GetTextMetricsA(dc, &metrics) != 0;
  SelectObject(dc, previous);
  return known && metrics.tmHeight > 0 ? int32_t(metrics.tmHeight) : 0;
}

bool NativeFontHasChar(NativeFontHandle font, uint32_t code) {
  if (!font || code > 0xFFFF) return false;
  std::lock_guard<std::mutex> hold(rasterwin::GlyphLock());
  if (!rasterwin::PrepareGlyphScratch(1, 1)) return false;
  HDC dc = static_cast<HDC>(rasterwin::GlyphScratch().DeviceContext());
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(font));
  const wchar_t character = wchar_t(code);
  WORD index = 0xFFFF;
  const bool found = GetGlyphIndicesW(dc, &character, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) == 1;
  SelectObject(dc, previous);
  return found && index != 0xFFFF;
}

bool RenderNativeGlyph(NativeFontHandle font, uint32_t code, GrowBuf* pixels, GlyphImage* image) {
  if (!font || !pixels || !image || code > 0xFFFF) return false;
  std::lock_guard<std::mutex> hold(rasterwin::GlyphLock());
  SysBitmap& scratch = rasterwin::GlyphScratch();
  if (!rasterwin::PrepareGlyphScratch(1, 1)) return false;
  HDC dc = static_cast<HDC>(scratch.DeviceContext());
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(font));

  const wchar_t character[2] = {wchar_t(code), 0};
  RECT measured{0, 0, 0, 0};
  DrawTextW(dc, character, 1, &measured, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
  const int32_t advance = measured.right > 0 ? int32_t(measured.right) : 0;
  const int32_t height = measured.bottom > 0 ? int32_t(measured.bottom) : 0;
  // Capitals may overhang their advance; their masks keep two more columns.
  const int32_t width = advance + ((code >= 'A' && code <= 'Z') ? 2 : 0);
  image->advance = advance;
  image->maskWidth = width;
  image->maskHeight = height;
  image->maskTop = 0;
  if (width < 1 || height < 1) {
    SelectObject(dc, previous);
    return true;
  }
  // Marks above capitals may rise over the font's cell: the
  // character is drawn unclipped below some headroom, and the rows it
  // reaches there are kept.
  const int32_t headroom = (height + 1) / 2;
  const int32_t drawnHeight = height + headroom;
  if (width > kMaxGlyphSide || drawnHeight > kMaxGlyphSide || !rasterwin::PrepareGlyphScratch(width, drawnHeight)) {
    SelectObject(dc, previous);
    return false;
  }
  // Cleared to black, then the character in white: red is the coverage.
  const int32_t span = scratch.RowSpan();
  std::memset(scratch.PixelData(), 0, size_t(span) * size_t(scratch.Height()) * sizeof(Pixel32));
  RECT cell{0, headroom, width, headroom + height};
  DrawTextW(dc, character, 1, &cell, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  GdiFlush();
  SelectObject(dc, previous);

  const Pixel32* source = scratch.PixelData();
  auto rowCovered = [&](int32_t y) {
    for (int32_t x = 0; x < width; ++x) {
      if ((source[ptrdiff_t(y) * span + x] >> 16) & 0xFF) return true;
    }
    return false;
  };
  int32_t firstRow = headroom;
  for (int32_t y = 0; y < headroom; ++y) {
    if (rowCovered(y)) {
      firstRow = y;
      break;
    }
  }
  const int32_t rows = drawnHeight - firstRow;
  image->maskTop = firstRow - headroom;
  image->maskHeight = rows;

  const int32_t oldSize = pixels->Size();
  const int64_t maskBytes = int64_t(width) * rows;
  if (maskBytes > INT32_MAX - int64_t(oldSize) || !pixels->Resize(oldSize + int32_t(maskBytes), false) ||
      pixels->Size() != oldSize + int32_t(maskBytes)) {
    return false;
  }
  uint8_t* mask = pixels->Data() + oldSize;
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      mask[ptrdiff_t(y) * width + x] = uint8_t((source[ptrdiff_t(y + firstRow) * span + x] >> 16) & 0xFF);
    }
  }
  return true;
}

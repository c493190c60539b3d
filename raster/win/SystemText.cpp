#include "raster/win/SystemText.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "raster/RasterOps.h"
#include "raster/win/GdiScratch.h"

namespace {

// Flags of ours that DrawText must not see.
constexpr uint32_t kOwnFlags = TextUseColorAlpha | TextInternalMeasure;

bool IsContinuation(uint8_t b) { return b >= 0x80 && b <= 0xBF; }

bool HasUtf8Sequence(const char* text, size_t length) {
  const auto* b = reinterpret_cast<const uint8_t*>(text);
  for (size_t i = 0; i < length; ++i) {
    if (b[i] >= 0xC2 && b[i] <= 0xDF && i + 1 < length && IsContinuation(b[i + 1])) return true;
    if (b[i] >= 0xE0 && b[i] <= 0xF4 && i + 2 < length && IsContinuation(b[i + 1]) && IsContinuation(b[i + 2])) {
      return true;
    }
  }
  return false;
}

// The text as GDI gets it: UTF-16 when it holds UTF-8 sequences that convert,
// else the bytes as they are.
struct GdiText {
  const char* narrow = nullptr;
  int narrowLength = 0;
  std::vector<wchar_t> wide;

  int Draw(HDC dc, RECT* rect, UINT flags) const {
    if (!wide.empty()) return DrawTextW(dc, wide.data(), int(wide.size()), rect, flags);
    return DrawTextA(dc, narrow, narrowLength, rect, flags);
  }
};

GdiText PrepareText(const char* text, int32_t length) {
  GdiText result;
  const size_t bytes = length < 0 ? std::strlen(text) : size_t(length);
  result.narrow = text;
  result.narrowLength = bytes > 0x7FFFFFFF ? 0x7FFFFFFF : int(bytes);
  if (!HasUtf8Sequence(text, size_t(result.narrowLength))) return result;
  const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, result.narrowLength, nullptr, 0);
  if (needed <= 0) return result;
  result.wide.resize(size_t(needed));
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, result.narrowLength, result.wide.data(), needed) !=
      needed) {
    result.wide.clear();
  }
  return result;
}

COLORREF ColorRef(Pixel32 c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

void SetUpContext(HDC dc, const SystemTextState& state) {
  SetTextColor(dc, ColorRef(state.textColor));
  SetBkMode(dc, state.backMode == BackOpaque ? OPAQUE : TRANSPARENT);
  if (state.backMode == BackOpaque) SetBkColor(dc, ColorRef(state.backColor));
}

RECT ToRect(const RasterRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

}  // namespace

bool RunningUnderWine() {
  // -1 undetermined, 0 no, 1 yes.
  static std::atomic<int> underWine{-1};
  int known = underWine.load();
  if (known < 0) {
    HKEY key = nullptr;
    known = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
    underWine.store(known);
  }
  return known == 1;
}

int32_t SystemRenderText(const SystemTextState& state, RasterBitmap* bitmap, const char* text, int32_t length,
                         RasterRect* rect, uint32_t flags) {
  if (!state.font || !text || !rect) return 0;
  const GdiText gdiText = PrepareText(text, length);
  const UINT drawFlags = UINT(flags & ~kOwnFlags) | DT_NOPREFIX;

  HDC ownDc = bitmap ? static_cast<HDC>(bitmap->DeviceContext()) : nullptr;
  if (ownDc) {
    HGDIOBJ previous = SelectObject(ownDc, static_cast<HFONT>(state.font));
    SetUpContext(ownDc, state);
    RECT area = ToRect(*rect);
    const int height = gdiText.Draw(ownDc, &area, drawFlags);
    GdiFlush();
    if (flags & TextMeasureOnly) *rect = RasterRect{area.left, area.top, area.right, area.bottom};
    SelectObject(ownDc, previous);
    return height;
  }

  // No context of its own: draw in the scratch bitmap over a copy of the
  // target's pixels and copy the result back.
  std::lock_guard<std::mutex> hold(rasterwin::TextLock());
  SysBitmap& scratch = rasterwin::TextScratch();
  HDC dc = static_cast<HDC>(scratch.DeviceContext());
  if (!dc) return 0;
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(state.font));
  RECT measured{0, 0, 0, 0};
  gdiText.Draw(dc, &measured, UINT(drawFlags & ~(TextAlignmentFlags)) | DT_CALCRECT);
  const int32_t textWidth = measured.right - measured.left;
  const int32_t textHeight = measured.bottom - measured.top;
  if (flags & TextMeasureOnly) {
    SelectObject(dc, previous);
    rect->right = rect->left + textWidth;
    rect->bottom = rect->top + textHeight;
    return textHeight;
  }

  int64_t left = rect->left, top = rect->top;
  int64_t width = int64_t(rect->right) - rect->left, height = int64_t(rect->bottom) - rect->top;
  if (flags & TextNoClip) {
    width = textWidth;
    height = textHeight;
  }
  if (textWidth < width) {
    if (flags & TextRight)
      left += width - textWidth;
    else if (flags & TextCenter)
      left += (width - textWidth) / 2;
    width = textWidth;
  }
  if (textHeight < height) {
    if (flags & TextBottom)
      top += height - textHeight;
    else if (flags & TextVCenter)
      top += (height - textHeight) / 2;
    height = textHeight;
  }
  int32_t result = 0;
  if (width > 0 && height > 0 && width <= 16384 && height <= 16384) {
    if (scratch.Width() < width || scratch.Height() < height) {
      scratch.SetSize(int32_t(width > scratch.Width() ? width : scratch.Width()),
                      int32_t(height > scratch.Height() ? height : scratch.Height()));
    }
    if (scratch.PixelData() && scratch.Width() >= width && scratch.Height() >= height) {
      const RasterRect source{int32_t(left), int32_t(top), int32_t(left + width), int32_t(top + height)};
      RasterBlit(&scratch, bitmap, 0, 0, &source, 1.0f, 0);
      SetUpContext(dc, state);
      RECT area{0, 0, LONG(width), LONG(height)};
      result = gdiText.Draw(dc, &area, UINT(drawFlags & ~TextAlignmentFlags));
      GdiFlush();
      const RasterRect back{0, 0, int32_t(width), int32_t(height)};
      RasterBlit(bitmap, &scratch, int32_t(left), int32_t(top), &back, state.weight, 0);
    }
  }
  SelectObject(dc, previous);
  return result;
}

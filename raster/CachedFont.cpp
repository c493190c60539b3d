#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "raster/GlyphSource.h"
#include "raster/RasterFont.h"
#include "raster/RasterOps.h"
#if defined(_WIN32)
#include "raster/win/SystemText.h"
#endif

namespace {

bool IsContinuation(uint8_t byte) { return byte >= 0x80 && byte <= 0xC0; }

int32_t Channel(Pixel32 p, int shift) { return int32_t((p >> shift) & 0xFF); }

int64_t Max64(int64_t a, int64_t b) { return a > b ? a : b; }
int64_t Min64(int64_t a, int64_t b) { return a < b ? a : b; }

Pixel32 Pack(int32_t a, int32_t r, int32_t g, int32_t b) {
  return (Pixel32(a) << 24) | (Pixel32(r) << 16) | (Pixel32(g) << 8) | Pixel32(b);
}

// Blends the text colour (blue, green, red) into pixel d with coverage m at
// integer weight w.
Pixel32 BlendCoverage(Pixel32 d, int32_t m, int32_t w, const int32_t colour[3]) {
  const int32_t da = Channel(d, 24);
  int32_t c[3];
  int32_t alpha;
  if (w == 256) {
    for (int ch = 0; ch < 3; ++ch) c[ch] = (Channel(d, ch * 8) - colour[ch]) * (255 - m) / 256 + colour[ch];
    alpha = 255 - (255 - m) * (255 - da) / 256;
  } else {
    const int32_t cover = w * m / 256;
    const int32_t keep = 256 - (cover < 256 ? cover : 256);
    for (int ch = 0; ch < 3; ++ch) c[ch] = colour[ch] + (Channel(d, ch * 8) - colour[ch]) * keep / 256;
    alpha = 255 - (255 - da) * keep / 256;
  }
  return Pack(alpha, c[2], c[1], c[0]);
}

// Walks the characters of a text, as DecodeUtf8Char reads them.
class CharWalker {
public:
  CharWalker(const char* text, int32_t length) : text_(text), remaining_(length) {}
  bool Next(uint32_t* code) {
    const int32_t used = DecodeUtf8Char(text_, remaining_, code);
    if (used == 0) return false;
    text_ += used;
    if (remaining_ >= 0) remaining_ -= used;
    return true;
  }

private:
  const char* text_;
  int32_t remaining_;
};

}  // namespace

int32_t DecodeUtf8Char(const char* text, int32_t remaining, uint32_t* code) {
  if (!text || !code || remaining == 0) return 0;
  const auto* b = reinterpret_cast<const uint8_t*>(text);
  if (b[0] == 0) return 0;
  auto fits = [remaining](int32_t n) { return remaining < 0 || remaining >= n; };
  const uint8_t lead = b[0];
  // The && chains stop at the first byte that is not a continuation, so a
  // terminator is never read past.
  if (lead >= 0xC2 && lead <= 0xDF && fits(2) && IsContinuation(b[1])) {
    *code = (uint32_t(lead & 0x1F) << 6) | (b[1] & 0x3F);
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF && fits(3) && IsContinuation(b[1]) && IsContinuation(b[2])) {
    *code = ((uint32_t(lead & 0x0F) << 12) | (uint32_t(b[1] & 0x3F) << 6) | (b[2] & 0x3F)) & 0xFFFF;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4 && fits(4) && IsContinuation(b[1]) && IsContinuation(b[2]) && IsContinuation(b[3])) {
    *code = ' ';
    return 4;
  }
  *code = lead;
  return 1;
}

CachedFont::CachedFont() = default;

CachedFont::~CachedFont() {
  if ((fontFlags_ & FontOwnsHandle) && nativeFont_) DeleteNativeFont(nativeFont_);
}

void CachedFont::AttachNativeFont(NativeFontHandle font, uint32_t flags) {
  if ((fontFlags_ & FontOwnsHandle) && nativeFont_ && font != nativeFont_) {
    DeleteNativeFont(nativeFont_);
  }
  fontFlags_ = flags;
  nativeFont_ = font;
  lineHeight_ = NativeFontLineHeight(font);
  ClearGlyphCache();
}

Pixel32 CachedFont::ChangeTextColor(Pixel32 color) { return std::exchange(textColor_, color); }

Pixel32 CachedFont::ChangeBackColor(Pixel32 color) { return std::exchange(backColor_, color); }

Pixel32 CachedFont::ChangeEffectColor(Pixel32 color) { return std::exchange(effectColor_, color); }

int32_t CachedFont::ChangeBackMode(int32_t mode) { return std::exchange(backMode_, mode); }

void CachedFont::ChangeBlendMode(int32_t mode, float weight) {
  blendMode_ = mode;
  weight_ = weight;
}

void CachedFont::ClearGlyphCache() {
  std::memset(directGlyphs_, 0, sizeof(directGlyphs_));
  extraGlyphs_.Resize(0);
  glyphPixels_.Resize(0);
}

GlyphRecord* CachedFont::FindOrAddRecord(uint32_t code) {
  if (code < 128) return &directGlyphs_[code];
  if (code > 0xFFFF) return nullptr;
  GlyphRecord* records = extraGlyphs_.As<GlyphRecord>();
  const int32_t count = extraGlyphs_.Size() / int32_t(sizeof(GlyphRecord));
  int32_t low = 0, high = count;
  while (low < high) {
    const int32_t mid = (low + high) / 2;
    if (records[mid].code < code)
      low = mid + 1;
    else
      high = mid;
  }
  if (low < count && records[low].code == code) return &records[low];
  // Inserted in place, which keeps the array sorted by code.
  if (!extraGlyphs_.Resize((count + 1) * int32_t(sizeof(GlyphRecord)), false) ||
      extraGlyphs_.Size() != (count + 1) * int32_t(sizeof(GlyphRecord))) {
    return nullptr;
  }
  records = extraGlyphs_.As<GlyphRecord>();
  std::memmove(&records[low + 1], &records[low], size_t(count - low) * sizeof(GlyphRecord));
  records[low] = GlyphRecord{};
  records[low].code = uint16_t(code);
  return &records[low];
}

void CachedFont::RenderGlyph(GlyphRecord* record, uint32_t code) {
  const int32_t oldSize = glyphPixels_.Size();
  GlyphImage image;
  if (!nativeFont_ || !RenderNativeGlyph(nativeFont_, code, &glyphPixels_, &image) || image.maskWidth < 1 ||
      image.maskHeight < 1) {
    glyphPixels_.Resize(oldSize, false);
    record->maskPosition = -1;
    record->maskWidth = record->maskHeight = record->advance = record->maskTop = 0;
    return;
  }
  record->maskPosition = oldSize + 1;
  record->maskWidth = image.maskWidth;
  record->maskHeight = image.maskHeight;
  record->advance = image.advance;
  record->maskTop = image.maskTop;
}

const GlyphRecord* CachedFont::Glyph(uint32_t code) {
  GlyphRecord* record = FindOrAddRecord(code);
  if (record && record->maskPosition == 0) RenderGlyph(record, code);
  return record;
}

const uint8_t* CachedFont::GlyphMask(const GlyphRecord& glyph) const {
  if (glyph.maskPosition <= 0 || glyph.maskWidth < 1 || glyph.maskHeight < 1) return nullptr;
  const int64_t end = int64_t(glyph.maskPosition) - 1 + int64_t(glyph.maskWidth) * glyph.maskHeight;
  if (end > glyphPixels_.Size()) return nullptr;
  return glyphPixels_.Data() + (glyph.maskPosition - 1);
}

int32_t CachedFont::RenderText(RasterBitmap* bitmap, const char* text, int32_t length, RasterRect* rect,
                               uint32_t flags) {
  if (!bitmap && !(flags & TextMeasureOnly)) return 0;
  if (!text || !rect) return 0;
#if defined(_WIN32)
  // GDI draws opaque text straight into the bitmap. Wine's GDI text differs
  // from Windows', and translucent text needs the blend, so both take the
  // glyph route.
  if ((fontFlags_ & FontPreferSystemText) && nativeFont_ && !(flags & TextInternalMeasure) &&
      !(flags & TextUseColorAlpha) && (extraLineSpacing_ == 0 || (flags & TextSingleLine)) && !RunningUnderWine()) {
    const SystemTextState state{nativeFont_, textColor_, backColor_, backMode_, weight_};
    return SystemRenderText(state, bitmap, text, length, rect, flags);
  }
#endif
  if (flags & TextMeasureOnly) return MeasureText(text, length, rect, flags);
  return DrawGlyphText(bitmap, text, length, *rect, flags);
}

int32_t CachedFont::MeasureText(const char* text, int32_t length, RasterRect* rect, uint32_t flags) {
  int64_t lineTop = 0, lineWidth = 0, widest = 0, height = 0;
  CharWalker walker(text, length);
  uint32_t code = 0;
  while (walker.Next(&code)) {
    if (code == '\r') continue;
    if (code == '\n') {
      if (flags & TextSingleLine) {
        code = ' ';
      } else {
        widest = Max64(widest, lineWidth);
        lineWidth = 0;
        lineTop += lineHeight_ + extraLineSpacing_;
        continue;
      }
    }
    const GlyphRecord* glyph = Glyph(code);
    if (!glyph || glyph->maskPosition <= 0) continue;
    lineWidth += glyph->advance;
    height = Max64(height, lineTop + glyph->maskTop + glyph->maskHeight);
  }
  widest = Max64(widest, lineWidth);
  rect->right = int32_t(Min64(int64_t(rect->left) + widest, INT32_MAX));
  rect->bottom = int32_t(Min64(int64_t(rect->top) + height, INT32_MAX));
  return int32_t(Min64(height, INT32_MAX));
}

int32_t CachedFont::DrawGlyphText(RasterBitmap* bitmap, const char* text, int32_t length, const RasterRect& rect,
                                  uint32_t flags) {
  float weight = weight_;
  if (flags & TextUseColorAlpha) weight = float(textColor_ >> 24) / 255.0f * weight_;
  if (weight == 0.0f) return 0;

  int64_t startX = rect.left, startY = rect.top;
  if (flags & TextAlignmentFlags) {
    RasterRect measured = rect;
    RenderText(bitmap, text, length, &measured, TextMeasureOnly | (flags & (TextSingleLine | TextInternalMeasure)));
    const int64_t width = int64_t(measured.right) - measured.left;
    const int64_t height = int64_t(measured.bottom) - measured.top;
    if (flags & TextCenter) startX = rect.left + (rect.right - width - rect.left) / 2;
    if (flags & TextRight) startX = rect.right - width;
    if (flags & TextVCenter) startY = rect.top + (rect.bottom - height - rect.top) / 2;
    if (flags & TextBottom) startY = rect.bottom - height;
  }

  RasterRect clip{0, 0, bitmap->Width(), bitmap->Height()};
  if (!(flags & TextNoClip)) {
    clip.left = rect.left > 0 ? rect.left : 0;
    clip.top = rect.top > 0 ? rect.top : 0;
    clip.right = rect.right < clip.right ? rect.right : clip.right;
    clip.bottom = rect.bottom < clip.bottom ? rect.bottom : clip.bottom;
  }
  if (clip.left >= clip.right || clip.top >= clip.bottom || !bitmap->PixelData()) return 0;

  const float savedWeight = weight_;
  weight_ = weight;
  int64_t x = startX, lineTop = startY, lowest = startY;
  CharWalker walker(text, length);
  uint32_t code = 0;
  while (walker.Next(&code)) {
    if (code == '\r') continue;
    if (code == '\n') {
      if (flags & TextSingleLine) {
        code = ' ';
      } else {
        x = startX;
        lineTop += lineHeight_ + extraLineSpacing_;
        continue;
      }
    }
    const GlyphRecord* glyph = Glyph(code);
    if (!glyph || glyph->maskPosition <= 0) continue;
    const uint8_t* mask = GlyphMask(*glyph);
    if (!mask) continue;
    DrawGlyph(bitmap, mask, glyph->maskWidth, glyph->maskHeight, x, lineTop + glyph->maskTop, clip);
    lowest = Max64(lowest, lineTop + glyph->maskTop + glyph->maskHeight);
    x += glyph->advance;
  }
  weight_ = savedWeight;
  return int32_t(Min64(lowest - startY, INT32_MAX));
}

void CachedFont::DrawGlyph(RasterBitmap* bitmap, const uint8_t* mask, int32_t maskWidth, int32_t maskHeight, int64_t x,
                           int64_t y, const RasterRect& clip) {
  const int64_t left = Max64(x, clip.left), right = Min64(x + maskWidth, clip.right);
  const int64_t top = Max64(y, clip.top), bottom = Min64(y + maskHeight, clip.bottom);
  if (left >= right || top >= bottom) return;
  if (backMode_ == BackOpaque) {
    RasterFill(bitmap, int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top), backColor_, weight_,
               blendMode_ & ~UseSourceAlpha);
  }
  const int32_t w = RasterIntegerWeight(weight_);
  const int32_t red = Channel(textColor_, 16), green = Channel(textColor_, 8), blue = Channel(textColor_, 0);
  const int32_t colour[3] = {blue, green, red};
  Pixel32* pixels = bitmap->PixelData();
  const ptrdiff_t span = bitmap->RowSpan();
  for (int64_t py = top; py < bottom; ++py) {
    const int64_t stored = bitmap->IsBottomUp() ? bitmap->Height() - 1 - py : py;
    Pixel32* row = pixels + stored * span;
    const uint8_t* maskRow = mask + (py - y) * maskWidth;
    for (int64_t px = left; px < right; ++px) {
      const int32_t m = maskRow[px - x];
      if (m == 0) continue;
      row[px] = BlendCoverage(row[px], m, w, colour);
    }
  }
}

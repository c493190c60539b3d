#pragma once
#include <cstdint>

#include "base/GrowBuf.h"
#include "raster/RasterBitmap.h"

// Text flags for RenderText.
constexpr uint32_t TextCenter = 0x1;
constexpr uint32_t TextRight = 0x2;
constexpr uint32_t TextVCenter = 0x4;
constexpr uint32_t TextBottom = 0x8;
constexpr uint32_t TextSingleLine = 0x20;
constexpr uint32_t TextNoClip = 0x100;
constexpr uint32_t TextMeasureOnly = 0x400;
constexpr uint32_t TextNoPrefix = 0x800;
// Multiplies the weight by the text colour's alpha.
constexpr uint32_t TextUseColorAlpha = 0x40000000;
// Marks a measuring pass made by the font itself.
constexpr uint32_t TextInternalMeasure = 0x80000000;
constexpr uint32_t TextAlignmentFlags = TextCenter | TextRight | TextVCenter | TextBottom;

// Font flags for AttachNativeFont.
constexpr uint32_t FontOwnsHandle = 0x200;
constexpr uint32_t FontPreferSystemText = 0x400;

// Background modes.
constexpr int32_t BackTransparent = 1;
constexpr int32_t BackOpaque = 2;

// The platform font a RasterFont draws with. On Linux it is made by
// CreateNativeFont and owns a FreeType face.
using NativeFontHandle = void*;

struct FontRequest {
  const char* faceName = "Verdana";  // family name; fontconfig picks the closest
  int32_t pixelHeight = 12;
  int32_t weight = 400;  // 700 = bold
  bool italic = false;
  int32_t quality = 0;      // 1 = not antialiased (monochrome glyphs)
  int32_t orientation = 0;  // tenths of a degree; not supported, ignored
};

// Null when no face can be found or loaded.
NativeFontHandle CreateNativeFont(const FontRequest& request);
void DeleteNativeFont(NativeFontHandle font);

// Decodes one character of text (at most `remaining` bytes, -1 = up to the
// terminator) into *code; returns the bytes consumed (0 at the end of text).
// 4-byte sequences decode to a space; malformed bytes decode to themselves.
int32_t DecodeUtf8Char(const char* text, int32_t remaining, uint32_t* code);

class RasterFont {
public:
  virtual ~RasterFont() = default;
  // Clears the glyph cache. With FontOwnsHandle the font deletes the handle.
  virtual void AttachNativeFont(NativeFontHandle font, uint32_t flags) = 0;
  virtual Pixel32 ChangeTextColor(Pixel32 color) = 0;
  virtual Pixel32 ChangeBackColor(Pixel32 color) = 0;
  virtual Pixel32 ChangeEffectColor(Pixel32 color) = 0;
  virtual int32_t ChangeBackMode(int32_t mode) = 0;
  virtual void ChangeBlendMode(int32_t mode, float weight) = 0;
  // Draws text (length -1 = up to the terminator) into rect of bitmap, or
  // with TextMeasureOnly sets rect's right and bottom; returns the height.
  virtual int32_t RenderText(RasterBitmap* bitmap, const char* text, int32_t length, RasterRect* rect,
                             uint32_t flags) = 0;
  virtual Pixel32 TextColor() const = 0;
  virtual NativeFontHandle NativeFont() const = 0;
  virtual int32_t LineHeight() const = 0;
};

// One character's place in the glyph cache.
struct GlyphRecord {
  int32_t maskPosition;  // 0 = not rendered, -1 = no pixels, else offset + 1
  int32_t maskWidth;
  int32_t maskHeight;
  int32_t advance;
  uint16_t code;    // only used by the records for codes 128 and above
  int32_t maskTop;  // first mask row relative to the line's top (0 or less)
};

// Renders each character once into a coverage mask and blends the masks.
class CachedFont : public RasterFont {
public:
  CachedFont();
  ~CachedFont() override;
  CachedFont(const CachedFont&) = delete;
  CachedFont& operator=(const CachedFont&) = delete;

  void AttachNativeFont(NativeFontHandle font, uint32_t flags) override;
  Pixel32 ChangeTextColor(Pixel32 color) override;
  Pixel32 ChangeBackColor(Pixel32 color) override;
  Pixel32 ChangeEffectColor(Pixel32 color) override;
  int32_t ChangeBackMode(int32_t mode) override;
  void ChangeBlendMode(int32_t mode, float weight) override;
  int32_t RenderText(RasterBitmap* bitmap, const char* text, int32_t length, RasterRect* rect, uint32_t flags) override;
  Pixel32 TextColor() const override { return textColor_; }
  NativeFontHandle NativeFont() const override { return nativeFont_; }
  int32_t LineHeight() const override { return lineHeight_; }

  // The record for code, rendering the glyph on first use; null when the
  // code cannot have one.
  const GlyphRecord* Glyph(uint32_t code);
  // The mask of a record with pixels, or null when it lies outside the store.
  const uint8_t* GlyphMask(const GlyphRecord& glyph) const;

private:
  GlyphRecord* FindOrAddRecord(uint32_t code);
  void RenderGlyph(GlyphRecord* record, uint32_t code);
  void SortExtraRecords();
  void ClearGlyphCache();
  int32_t MeasureText(const char* text, int32_t length, RasterRect* rect, uint32_t flags);
  int32_t DrawGlyphText(RasterBitmap* bitmap, const char* text, int32_t length, const RasterRect& rect, uint32_t flags);
  void DrawGlyph(RasterBitmap* bitmap, const uint8_t* mask, int32_t maskWidth, int32_t maskHeight, int64_t x, int64_t y,
                 const RasterRect& clip);

  Pixel32 textColor_ = 0;
  Pixel32 backColor_ = 0xFFFFFFFF;
  Pixel32 effectColor_ = 0xFFFFFFFF;
  int32_t backMode_ = BackTransparent;
  int32_t blendMode_ = 0;
  float weight_ = 1.0f;
  uint32_t fontFlags_ = 0;
  int32_t lineHeight_ = 0;
  int32_t extraLineSpacing_ = 0;
  GlyphRecord directGlyphs_[128] = {};
  GrowBuf extraGlyphs_{4096};
  GrowBuf glyphPixels_{65536};
  NativeFontHandle nativeFont_ = nullptr;
};

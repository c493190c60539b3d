#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>

#include "raster/RasterFont.h"
#include "raster/RasterOps.h"
#include "tests/raster/RasterTestSupport.h"

namespace {

struct Decoded {
  uint32_t code;
  int32_t used;
};

Decoded DecodeOne(const char* text, int32_t remaining = -1) {
  Decoded d{0xDEAD, 0};
  d.used = DecodeUtf8Char(text, remaining, &d.code);
  return d;
}

// A font the editor would make: "Verdana", owned by the CachedFont.
std::unique_ptr<CachedFont> MakeFont(int32_t height, int32_t quality = 0) {
  FontRequest request;
  request.pixelHeight = height;
  request.quality = quality;
  NativeFontHandle handle = CreateNativeFont(request);
  if (!handle) return nullptr;
  auto font = std::make_unique<CachedFont>();
  font->AttachNativeFont(handle, FontOwnsHandle | FontPreferSystemText);
  return font;
}

int32_t Advance(CachedFont& font, uint32_t code) { return font.Glyph(code)->advance; }

RasterRect Measure(CachedFont& font, const char* text, uint32_t flags = 0) {
  RasterRect rect{10, 20, 10, 20};
  font.RenderText(nullptr, text, -1, &rect, flags | TextMeasureOnly);
  return rect;
}

// The smallest rectangle around the pixels that differ from background.
RasterRect ChangedArea(const RasterBitmap& bitmap, Pixel32 background) {
  RasterRect area{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x)
      if (PixelAt(bitmap, x, y) != background) {
        area.left = std::min(area.left, x);
        area.top = std::min(area.top, y);
        area.right = std::max(area.right, x + 1);
        area.bottom = std::max(area.bottom, y + 1);
      }
  return area;
}

}  // namespace

TEST(DecodeUtf8Char, DecodesWellFormedSequences) {
  EXPECT_EQ(DecodeOne("A").code, 'A');
  EXPECT_EQ(DecodeOne("A").used, 1);
  EXPECT_EQ(DecodeOne("\xC3\xA9").code, 0xE9u);
  EXPECT_EQ(DecodeOne("\xC3\xA9").used, 2);
  EXPECT_EQ(DecodeOne("\xE2\x82\xAC").code, 0x20ACu);
  EXPECT_EQ(DecodeOne("\xE2\x82\xAC").used, 3);
  EXPECT_EQ(DecodeOne("\xF0\x9F\x8E\xB5").code, uint32_t(' '));  // beyond 16 bits: a space
  EXPECT_EQ(DecodeOne("\xF0\x9F\x8E\xB5").used, 4);
  EXPECT_EQ(DecodeOne("\xC3\xC0").code, 0xC0u);  // 0xC0 counts as a continuation byte
}

TEST(DecodeUtf8Char, MalformedBytesStandForThemselves) {
  for (const char* text : {"\x80", "\xBF", "\xC0\x80", "\xC1\x81", "\xF5\x80\x80\x80", "\xC3", "\xE2\x82",
                           "\xF0\x9F\x8E", "\xE2\x41\x42"}) {
    const Decoded d = DecodeOne(text);
    EXPECT_EQ(d.used, 1) << int(uint8_t(text[0]));
    EXPECT_EQ(d.code, uint32_t(uint8_t(text[0])));
  }
  // A length that ends inside a sequence cuts it short.
  EXPECT_EQ(DecodeOne("\xC3\xA9", 1).used, 1);
  EXPECT_EQ(DecodeOne("\xE2\x82\xAC", 2).code, 0xE2u);
  EXPECT_EQ(DecodeOne("abc", 0).used, 0);
  EXPECT_EQ(DecodeOne("").used, 0);
  EXPECT_EQ(DecodeOne(nullptr).used, 0);
}

TEST(CachedFont, GlyphCellsFollowTheLineHeight) {
  auto font = MakeFont(12);
  if (!font) GTEST_SKIP() << "no scalable font installed";
  EXPECT_GE(font->LineHeight(), 11);
  EXPECT_LE(font->LineHeight(), 15);
  const GlyphRecord* capital = font->Glyph('W');
  ASSERT_NE(capital, nullptr);
  EXPECT_GT(capital->advance, 0);
  EXPECT_EQ(capital->maskWidth, capital->advance + 2);
  EXPECT_EQ(capital->maskHeight, font->LineHeight());
  const GlyphRecord* lower = font->Glyph('w');
  EXPECT_EQ(lower->maskWidth, lower->advance);
  EXPECT_NE(font->GlyphMask(*lower), nullptr);

  // Codes from 128 up get records of their own, found again later.
  const GlyphRecord* euro = font->Glyph(0x20AC);
  const GlyphRecord* eacute = font->Glyph(0xE9);
  ASSERT_NE(eacute, nullptr);
  EXPECT_EQ(eacute->code, 0xE9);
  EXPECT_EQ(font->Glyph(0x20AC)->advance, euro ? euro->advance : -1);
  EXPECT_EQ(font->Glyph(0x10000), nullptr);
}

TEST(CachedFont, MeasuresLinesOfGlyphAdvances) {
  auto font = MakeFont(12);
  if (!font) GTEST_SKIP() << "no scalable font installed";
  const int32_t line = font->LineHeight();
  RasterRect rect = Measure(*font, "Hi");
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.right, 10 + Advance(*font, 'H') + Advance(*font, 'i'));
  EXPECT_EQ(rect.bottom, 20 + line);

  rect = Measure(*font, "ab\r\nc");
  EXPECT_EQ(rect.right, 10 + Advance(*font, 'a') + Advance(*font, 'b'));
  EXPECT_EQ(rect.bottom, 20 + 2 * line);

  rect = Measure(*font, "ab\nc", TextSingleLine);
  EXPECT_EQ(rect.right, 10 + Advance(*font, 'a') + Advance(*font, 'b') + Advance(*font, ' ') + Advance(*font, 'c'));
  EXPECT_EQ(rect.bottom, 20 + line);

  EXPECT_EQ(Measure(*font,
                    "a\xF0\x9F\x8E\xB5"
                    "b")
                .right,
            Measure(*font, "a b").right);
  rect = Measure(*font, "");
  EXPECT_EQ(rect.right, 10);
  EXPECT_EQ(rect.bottom, 20);
  RasterRect counted{0, 0, 0, 0};
  EXPECT_EQ(font->RenderText(nullptr, "Hi there", 2, &counted, TextMeasureOnly), line);
  EXPECT_EQ(counted.right, Measure(*font, "Hi").right - 10);
}

TEST(CachedFont, DrawsTextOnlyInsideItsBox) {
  auto font = MakeFont(14);
  if (!font) GTEST_SKIP() << "no scalable font installed";
  MemBitmap bitmap(200, 40);
  FillAll(bitmap, 0xFFFFFFFF);
  font->ChangeTextColor(0xFF000000);
  RasterRect rect{10, 8, 190, 30};
  const int32_t drawn = font->RenderText(&bitmap, "Kick Drum 909", -1, &rect, TextNoClip);
  EXPECT_EQ(drawn, font->LineHeight());

  const RasterRect measured = [&] {
    RasterRect m{10, 8, 10, 8};
    font->RenderText(nullptr, "Kick Drum 909", -1, &m, TextMeasureOnly);
    return m;
  }();
  const RasterRect changed = ChangedArea(bitmap, 0xFFFFFFFF);
  ASSERT_LT(changed.left, changed.right) << "nothing was drawn";
  EXPECT_GE(changed.left, measured.left);
  EXPECT_GE(changed.top, measured.top);
  EXPECT_LE(changed.right, measured.right + 2);  // a capital's cell reaches 2 beyond its advance
  EXPECT_LE(changed.bottom, measured.bottom);
  EXPECT_GT(changed.right - changed.left, (measured.right - measured.left) * 3 / 4);
}

TEST(CachedFont, AlignsWithinTheRectangleAndClipsToIt) {
  auto font = MakeFont(12, 1);
  if (!font) GTEST_SKIP() << "no scalable font installed";
  font->ChangeTextColor(0xFF000000);
  const int32_t width = Advance(*font, 'o');  // lower case: the cell is the advance
  MemBitmap bitmap(60, 30);
  const struct {
    uint32_t flags;
    int32_t left;
  } cases[] = {{0, 5}, {TextCenter, 5 + (41 - width - 5) / 2}, {TextRight, 41 - width}};
  for (const auto& c : cases) {
    FillAll(bitmap, 0xFFFFFFFF);
    RasterRect rect{5, 3, 41, 25};
    font->RenderText(&bitmap, "o", -1, &rect, c.flags);
    const RasterRect changed = ChangedArea(bitmap, 0xFFFFFFFF);
    EXPECT_GE(changed.left, c.left) << c.flags;
    EXPECT_LE(changed.right, c.left + width) << c.flags;
  }

  // Without the no-clipping flag nothing lands outside the rectangle.
  FillAll(bitmap, 0xFFFFFFFF);
  RasterRect narrow{20, 5, 26, 9};
  font->RenderText(&bitmap, "WWWW", -1, &narrow, 0);
  const RasterRect changed = ChangedArea(bitmap, 0xFFFFFFFF);
  EXPECT_GE(changed.left, 20);
  EXPECT_LE(changed.right, 26);
  EXPECT_GE(changed.top, 5);
  EXPECT_LE(changed.bottom, 9);

  RasterRect hostile{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  font->RenderText(&bitmap, "WWWW", -1, &hostile, TextCenter | TextVCenter);
  FillAll(bitmap, 0xFFFFFFFF);
  RasterRect outside{INT32_MAX - 3, INT32_MAX - 3, INT32_MAX, INT32_MAX};
  font->RenderText(&bitmap, "W", -1, &outside, TextNoClip | TextRight | TextBottom);
  EXPECT_EQ(ChangedArea(bitmap, 0xFFFFFFFF).left, INT32_MAX);
  EXPECT_EQ(font->RenderText(nullptr, "W", -1, &outside, 0), 0);
  EXPECT_EQ(font->RenderText(&bitmap, nullptr, -1, &outside, 0), 0);
}

TEST(CachedFont, BlendsCoverageWithTheWeightAndColourAlpha) {
  auto font = MakeFont(12, 1);  // monochrome: every covered pixel has coverage 255
  if (!font) GTEST_SKIP() << "no scalable font installed";
  MemBitmap bitmap(40, 20);
  RasterRect rect{0, 0, 40, 20};
  auto colours = [&] {
    std::set<Pixel32> seen;
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 40; ++x) seen.insert(PixelAt(bitmap, x, y));
    return seen;
  };

  FillAll(bitmap, 0xFFFFFFFF);
  font->ChangeTextColor(0xFF102030);
  font->RenderText(&bitmap, "Hm", -1, &rect, 0);
  EXPECT_EQ(colours(), (std::set<Pixel32>{0xFFFFFFFF, 0xFF102030}));

  // Half weight: h = 256 - 127, so white over black text gives 255 * 129 / 256.
  FillAll(bitmap, 0xFFFFFFFF);
  font->ChangeTextColor(0xFF000000);
  font->ChangeBlendMode(BlendCopy, 0.5f);
  font->RenderText(&bitmap, "Hm", -1, &rect, 0);
  EXPECT_EQ(colours(), (std::set<Pixel32>{0xFFFFFFFF, 0xFF808080}));

  // The colour's alpha scales the weight only when asked; alpha 0 draws nothing.
  font->ChangeBlendMode(BlendCopy, 1.0f);
  FillAll(bitmap, 0xFFFFFFFF);
  font->ChangeTextColor(0x00000000);
  EXPECT_EQ(font->RenderText(&bitmap, "Hm", -1, &rect, TextUseColorAlpha), 0);
  EXPECT_EQ(colours(), (std::set<Pixel32>{0xFFFFFFFF}));

  // Opaque background mode fills each glyph cell first.
  font->ChangeTextColor(0xFF000000);
  font->ChangeBackColor(0xFF00FF00);
  font->ChangeBackMode(BackOpaque);
  font->RenderText(&bitmap, "Hm", -1, &rect, 0);
  EXPECT_EQ(colours(), (std::set<Pixel32>{0xFFFFFFFF, 0xFF00FF00, 0xFF000000}));
  EXPECT_EQ(PixelAt(bitmap, 0, 0), 0xFF00FF00u);
}

#pragma once
// Plain value records shared by the editor, its controls and the window layers.
#include <cstdint>

class RasterBitmap;
class RasterFont;

// Editor pixels, origin at the editor's top-left corner. Right and bottom are
// exclusive for hit testing. All four zero is "the empty rect".
struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool Contains(int32_t x, int32_t y) const { return left <= x && x < right && top <= y && y < bottom; }
  bool operator==(const PixelRect&) const = default;
};

// The overlap test of the draw pass: touching on the right or bottom edge
// counts. False when either rect is the empty rect.
bool RectsOverlap(const PixelRect& a, const PixelRect& b);
// Smallest rect holding both; an empty rect contributes nothing.
PixelRect RectUnion(const PixelRect& a, const PixelRect& b);
// The common part of two overlapping rects, else the empty rect.
PixelRect RectIntersection(const PixelRect& a, const PixelRect& b);

struct ArgbColor {
  int32_t alpha = 255;
  int32_t red = 0;
  int32_t green = 0;
  int32_t blue = 0;

  // 0xAARRGGBB; each channel uses its low 8 bits.
  uint32_t Packed() const {
    return (uint32_t(alpha & 0xFF) << 24) | (uint32_t(red & 0xFF) << 16) | (uint32_t(green & 0xFF) << 8) |
           uint32_t(blue & 0xFF);
  }
  bool operator==(const ArgbColor&) const = default;
};

constexpr ArgbColor kColorBlack{255, 0, 0, 0};
constexpr ArgbColor kColorWhite{255, 255, 255, 255};

enum TextStyleFlags : int32_t { kStyleNormal = 0, kStyleBold = 1, kStyleItalic = 2 };
enum TextAlignment : int32_t { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };
enum TextQuality : int32_t {
  kQualityDefault = 0,
  kQualityNonAntialiased = 1,
  kQualityAntialiased = 2,
  kQualityClearType = 3
};

struct TextStyle {
  static constexpr int kFaceCapacity = 32;

  char faceName[kFaceCapacity] = "Verdana";
  int32_t size = 12;
  ArgbColor textColor = kColorBlack;
  ArgbColor entryBackColor = kColorWhite;
  ArgbColor entryTextColor = kColorBlack;
  int32_t style = kStyleNormal;
  int32_t alignment = kAlignCenter;
  int32_t orientation = 0;  // degrees
  int32_t quality = kQualityDefault;
  RasterFont* font = nullptr;  // not owned; filled from the font cache on first use

  // Copies at most kFaceCapacity - 1 characters; null gives the empty name.
  void SetFaceName(const char* name);
};

// Frames stacked top to bottom, or left to right when horizontal is set.
struct BitmapStrip {
  RasterBitmap* bitmap = nullptr;  // not owned; null when the image is missing
  int32_t width = 0;
  int32_t height = 0;
  int32_t frames = 1;
  bool horizontal = false;
};

enum BlendMode : int32_t { kBlendAlphaCopy = 0, kBlendOpaque = 1, kBlendAlphaAdd = 2, kBlendAlphaDodge = 3 };

struct BlendSpec {
  int32_t mode = kBlendAlphaCopy;
  float weight = 1.0f;
};

constexpr float kGrayedWeight = 0.25f;

struct MouseMods {
  bool left = false;
  bool right = false;
  bool shift = false;
  bool control = false;
  bool alt = false;
};

// Key codes handed to controls.
namespace KeyCode {
constexpr int32_t Space = 0;
constexpr int32_t ArrowUp = 1;
constexpr int32_t ArrowDown = 2;
constexpr int32_t ArrowLeft = 3;
constexpr int32_t ArrowRight = 4;
constexpr int32_t Digit0 = 5;    // Digit0 + n for the digit n
constexpr int32_t LetterA = 15;  // LetterA + n for the n-th letter
constexpr int32_t LetterZ = 40;
}  // namespace KeyCode

// The editor's drawing primitives: everything controls paint goes through
// these into the draw bitmap, and images and fonts come from the shared
// caches.
#include <cstdio>
#include <memory>

#include "graphics/Editor.h"
#include "graphics/ResourceCaches.h"
#include "raster/RasterBitmap.h"
#include "raster/RasterFont.h"
#include "raster/RasterOps.h"

namespace {

constexpr int32_t kBoldWeight = 700;
constexpr int32_t kNormalWeight = 400;
// The font owns its native handle and prefers the system's text route.
constexpr uint32_t kCachedFontFlags = FontOwnsHandle | FontPreferSystemText;

int32_t ClampToInt32(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return int32_t(value);
}

int32_t RasterModeFor(int32_t blendMode) {
  switch (blendMode) {
    case kBlendOpaque:
      return BlendCopy;
    case kBlendAlphaAdd:
      return BlendAdd | UseSourceAlpha;
    case kBlendAlphaDodge:
      return BlendDodge | UseSourceAlpha;
    default:
      return BlendCopy | UseSourceAlpha;
  }
}

int32_t FontQualityFor(int32_t styleQuality) {
  switch (styleQuality) {
    case kQualityDefault:
    case kQualityAntialiased:
    case kQualityClearType:
      return styleQuality;
    default:
      return kQualityNonAntialiased;
  }
}

// Where frame (1-based) of a strip starts along its frame axis.
int32_t FrameOffset(const BitmapStrip& strip, int32_t frame) {
  if (strip.frames < 2 || frame < 2) return 0;
  const int32_t length = strip.horizontal ? strip.width : strip.height;
  const double offset = double(length) * (frame - 1) / strip.frames + 0.5;
  if (offset >= double(INT32_MAX)) return INT32_MAX;
  return int32_t(offset);
}

}  // namespace

void Editor::PrepareDrawing() {
  drawBitmap_.reset();
  scratchBitmap_.reset();
  drawingPrepared_ = true;
}

SysBitmap* Editor::DrawBitmap() const {
  if (drawingPrepared_ && !drawBitmap_) {
    drawBitmap_ = std::make_unique<SysBitmap>(width_, height_);
    scratchBitmap_ = std::make_unique<MemBitmap>();
  }
  return drawBitmap_.get();
}

MemBitmap* Editor::ScratchBitmap() const {
  DrawBitmap();
  return scratchBitmap_.get();
}

BitmapStrip Editor::LoadStripBitmap(int32_t id, const char* name, int32_t frames) {
  RasterBitmap* bitmap = nullptr;
  if (!FindCachedBitmap(id, &bitmap)) bitmap = StoreCachedBitmap(id, LoadResourceBitmap(id, name));
  BitmapStrip strip;
  strip.bitmap = bitmap;
  strip.width = bitmap ? bitmap->Width() : 0;
  strip.height = bitmap ? bitmap->Height() : 0;
  strip.frames = frames > 1 ? frames : 1;
  return strip;
}

bool Editor::BlitBitmap(const BitmapStrip& strip, const PixelRect& dest, int32_t srcX, int32_t srcY,
                        const BlendSpec& blend) {
  SysBitmap* target = strip.bitmap ? DrawBitmap() : nullptr;
  if (!target) return true;
  const PixelRect clipped = RectIntersection(dest, clipRect_);
  if (clipped.Width() <= 0 || clipped.Height() <= 0) return true;
  RasterRect source;
  source.left = ClampToInt32(int64_t(srcX) + clipped.left - dest.left);
  source.top = ClampToInt32(int64_t(srcY) + clipped.top - dest.top);
  source.right = ClampToInt32(int64_t(srcX) + clipped.right - dest.left);
  source.bottom = ClampToInt32(int64_t(srcY) + clipped.bottom - dest.top);
  RasterBlit(target, strip.bitmap, clipped.left, clipped.top, &source, blend.weight, RasterModeFor(blend.mode));
  return true;
}

bool Editor::DrawStrip(const BitmapStrip& strip, const PixelRect& dest, int32_t frame, const BlendSpec& blend) {
  const int32_t offset = FrameOffset(strip, frame);
  return BlitBitmap(strip, dest, strip.horizontal ? offset : 0, strip.horizontal ? 0 : offset, blend);
}

bool Editor::FillRect(const ArgbColor& color, const PixelRect& rect, const BlendSpec& blend) {
  SysBitmap* target = DrawBitmap();
  if (!target) return true;
  const int32_t width = ClampToInt32(int64_t(rect.right) - rect.left);
  const int32_t height = ClampToInt32(int64_t(rect.bottom) - rect.top);
  RasterFill(target, rect.left, rect.top, width, height, color.Packed(), blend.weight, RasterModeFor(blend.mode));
  return true;
}

bool Editor::DrawText(TextStyle& style, const char* text, PixelRect& rect, bool measureOnly) {
  if (!text || !*text) return true;
  RasterFont* font = style.font ? style.font : FontFor(style);
  if (!font) return false;
  LockHold fontInUse(SharedFontUseLock());
  font->ChangeTextColor(style.textColor.Packed());

  uint32_t flags = TextNoClip;
  if ((style.textColor.alpha & 0xFF) != 0xFF) flags |= TextUseColorAlpha;
  if (style.alignment == kAlignCenter) flags |= TextCenter;
  if (style.alignment == kAlignRight) flags |= TextRight;

  if (!measureOnly) {
    RasterRect area{rect.left, rect.top, rect.right, rect.bottom};
    font->RenderText(DrawBitmap(), text, -1, &area, flags);
    return true;
  }

  RasterRect measured{};
  font->RenderText(DrawBitmap(), text, -1, &measured, flags | TextMeasureOnly);
  const int32_t width = measured.right - measured.left;
  const int32_t height = measured.bottom - measured.top;
  if (style.alignment == kAlignCenter) {
    rect.left = ClampToInt32(int64_t((double(rect.left) + rect.right) * 0.5) - width / 2);
    rect.right = ClampToInt32(int64_t(rect.left) + width);
  } else if (style.alignment == kAlignRight) {
    rect.left = ClampToInt32(int64_t(rect.right) - width);
  } else {
    rect.right = ClampToInt32(int64_t(rect.left) + width);
  }
  rect.bottom = ClampToInt32(int64_t(rect.top) + height);
  return true;
}

RasterFont* Editor::FontFor(TextStyle& style) {
  // The face name may fill its array without a terminator.
  char face[TextStyle::kFaceCapacity];
  std::snprintf(face, sizeof(face), "%.*s", TextStyle::kFaceCapacity - 1, style.faceName);

  RasterFont* font = FindCachedFont(style.size, style.orientation, style.style, face);
  if (!font) {
    FontRequest request;
    request.faceName = face;
    request.pixelHeight = style.size;
    request.weight = style.style == kStyleBold ? kBoldWeight : kNormalWeight;
    request.italic = style.style == kStyleItalic;
    request.quality = FontQualityFor(style.quality);
    request.orientation = ClampToInt32(int64_t(style.orientation) * 10);
    NativeFontHandle handle = CreateNativeFont(request);
    if (!handle) return nullptr;
    auto* created = new CachedFont();
    created->AttachNativeFont(handle, kCachedFontFlags);
    font = StoreCachedFont(style.size, style.orientation, style.style, face, created);
  }
  style.font = font;
  return font;
}

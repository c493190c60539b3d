#include "raster/RasterOps.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

int32_t Channel(Pixel32 p, int shift) { return int32_t((p >> shift) & 0xFF); }

int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

Pixel32 Pack(int32_t a, int32_t r, int32_t g, int32_t b) {
  return (Pixel32(a) << 24) | (Pixel32(r) << 16) | (Pixel32(g) << 8) | Pixel32(b);
}

// Walks a bitmap's rows in image order, whichever way they are stored.
struct RowCursor {
  Pixel32* row;
  ptrdiff_t step;

  RowCursor(const RasterBitmap& bitmap, int32_t y) {
    Pixel32* base = bitmap.PixelData();
    const ptrdiff_t span = bitmap.RowSpan();
    if (bitmap.IsBottomUp()) {
      row = base + (ptrdiff_t(bitmap.Height()) - 1 - y) * span;
      step = -span;
    } else {
      row = base + ptrdiff_t(y) * span;
      step = span;
    }
  }
  void Next() { row += step; }
};

int32_t Dodge(int32_t d, int32_t s, int32_t k) {
  const int32_t t = s * k / 256;
  return Clamp255(t > 254 ? d * 256 : d * 256 / (256 - t));
}

// ---- per-row blit kernels ----

void CopyHalf(Pixel32* d, const Pixel32* s, int32_t n) {
  for (int32_t i = 0; i < n; ++i) d[i] = ((d[i] >> 1) & 0x7F7F7F7F) + ((s[i] >> 1) & 0x7F7F7F7F);
}

void CopyWeighted(Pixel32* d, const Pixel32* s, int32_t n, int32_t w) {
  const int32_t keep = 256 - w;
  for (int32_t i = 0; i < n; ++i) {
    int32_t c[4];
    for (int ch = 0; ch < 4; ++ch) {
      const int32_t sv = Channel(s[i], ch * 8), dv = Channel(d[i], ch * 8);
      c[ch] = sv + (dv - sv) * keep / 256;
    }
    d[i] = Pack(c[3], c[2], c[1], c[0]);
  }
}

// Moves each colour channel of d toward s, keeping keep/256 of the difference.
Pixel32 MixColour(Pixel32 d, Pixel32 s, int32_t keep, int32_t alpha) {
  const int32_t blue = Channel(s, 0) + (Channel(d, 0) - Channel(s, 0)) * keep / 256;
  const int32_t green = Channel(s, 8) + (Channel(d, 8) - Channel(s, 8)) * keep / 256;
  const int32_t red = Channel(s, 16) + (Channel(d, 16) - Channel(s, 16)) * keep / 256;
  return Pack(alpha > 255 ? 255 : alpha, red, green, blue);
}

void CopySourceAlphaFull(Pixel32* d, const Pixel32* s, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t a = Channel(s[i], 24);
    if (a == 255)
      d[i] = s[i];
    else if (a != 0)
      d[i] = MixColour(d[i], s[i], 255 - a, Channel(d[i], 24) + a);
  }
}

void CopySourceAlpha(Pixel32* d, const Pixel32* s, int32_t n, int32_t w) {
  if (w == 256) return CopySourceAlphaFull(d, s, n);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t a = Channel(s[i], 24);
    if (a == 0) continue;
    const int32_t k = w * (a + 1) / 256;
    d[i] = MixColour(d[i], s[i], 256 - k, Channel(d[i], 24) + k);
  }
}

void AddSourceAlpha(Pixel32* d, const Pixel32* s, int32_t n, int32_t w) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t a = Channel(s[i], 24);
    if (a == 0) continue;
    const int32_t k = w * (a + 1) / 256;
    int32_t c[3];
    for (int ch = 0; ch < 3; ++ch) c[ch] = Clamp255(Channel(d[i], ch * 8) + k * Channel(s[i], ch * 8) / 256);
    d[i] = Pack(Clamp255(Channel(d[i], 24) + a * k / 256), c[2], c[1], c[0]);
  }
}

void DodgeSourceAlpha(Pixel32* d, const Pixel32* s, int32_t n, int32_t w) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t k = w * (Channel(s[i], 24) + 1) / 256;
    int32_t c[4];
    for (int ch = 0; ch < 4; ++ch) c[ch] = Dodge(Channel(d[i], ch * 8), Channel(s[i], ch * 8), k);
    d[i] = Pack(c[3], c[2], c[1], c[0]);
  }
}

// ---- per-row fill kernels ----

void FillShortcut(Pixel32* d, int32_t n, Pixel32 color, int32_t w) {
  const Pixel32 half = (color >> 1) & 0x7F7F7F7F, quarter = (color >> 2) & 0x3F3F3F3F;
  for (int32_t i = 0; i < n; ++i) {
    const Pixel32 p = d[i];
    switch (w) {
      case 256:
        d[i] = color;
        break;
      case 128:
        d[i] = half + ((p >> 1) & 0x7F7F7F7F);
        break;
      case 64:
        d[i] = quarter + ((p >> 2) & 0x3F3F3F3F) + ((p >> 1) & 0x7F7F7F7F);
        break;
      default:
        d[i] = quarter + ((p >> 2) & 0x3F3F3F3F) + half;
        break;  // 192
    }
  }
}

void FillCopy(Pixel32* d, int32_t n, Pixel32 color, int32_t w) {
  const int32_t keep = 256 - w;
  for (int32_t i = 0; i < n; ++i) {
    int32_t c[3];
    for (int ch = 0; ch < 3; ++ch) {
      const int32_t cv = Channel(color, ch * 8);
      c[ch] = (Channel(d[i], ch * 8) - cv) * keep / 256 + cv;
    }
    d[i] = Pack(w + (Channel(d[i], 24) - w) * keep / 256, c[2], c[1], c[0]);
  }
}

void FillAdd(Pixel32* d, int32_t n, Pixel32 color, int32_t w) {
  for (int32_t i = 0; i < n; ++i) {
    int32_t c[3];
    for (int ch = 0; ch < 3; ++ch) c[ch] = Clamp255(Channel(d[i], ch * 8) + Channel(color, ch * 8) * w / 256);
    d[i] = Pack(Clamp255(Channel(d[i], 24) + w * w / 256), c[2], c[1], c[0]);
  }
}

void FillDodge(Pixel32* d, int32_t n, Pixel32 color, int32_t w) {
  for (int32_t i = 0; i < n; ++i) {
    int32_t c[3];
    for (int ch = 0; ch < 3; ++ch) c[ch] = Dodge(Channel(d[i], ch * 8), Channel(color, ch * 8), w);
    d[i] = Pack(Dodge(Channel(d[i], 24), w, w), c[2], c[1], c[0]);
  }
}

}  // namespace

// Out-of-contract weights above 1 are held at 256 so that no channel can
// spill into its neighbour.
int32_t RasterIntegerWeight(float weight) {
  if (!(weight > 0.0f)) return 0;
  if (weight >= 1.0f) return 256;
  return int32_t(weight * 256.0f);
}

void RasterBlit(RasterBitmap* dest, const RasterBitmap* source, int32_t x, int32_t y, const RasterRect* sourceRect,
                float weight, int32_t mode) {
  if (!dest || !source || weight == 0.0f) return;
  // 64-bit so that hostile rectangles and positions cannot overflow.
  int64_t left = 0, top = 0, right = source->Width(), bottom = source->Height();
  int64_t dx = x, dy = y;
  if (sourceRect) {
    left = sourceRect->left;
    top = sourceRect->top;
    if (sourceRect->right < right) right = sourceRect->right;
    if (sourceRect->bottom < bottom) bottom = sourceRect->bottom;
    if (left < 0) {
      dx -= left;
      left = 0;
    }
    if (top < 0) {
      dy -= top;
      top = 0;
    }
  }
  if (dx < 0) {
    left -= dx;
    dx = 0;
  }
  if (dy < 0) {
    top -= dy;
    dy = 0;
  }
  if (dx + (right - left) > dest->Width()) right = left + dest->Width() - dx;
  if (dy + (bottom - top) > dest->Height()) bottom = top + dest->Height() - dy;
  if (left >= right || top >= bottom) return;
  if (!dest->PixelData() || !source->PixelData()) return;

  const int32_t count = int32_t(right - left);
  RowCursor d(*dest, int32_t(dy)), s(*source, int32_t(top));
  const int32_t w = RasterIntegerWeight(weight);
  for (int64_t row = top; row < bottom; ++row, d.Next(), s.Next()) {
    Pixel32* dp = d.row + dx;
    const Pixel32* sp = s.row + left;
    switch (mode) {
      case BlendCopy:
        if (weight == 0.5f)
          CopyHalf(dp, sp, count);
        else if (w == 256)
          std::memmove(dp, sp, size_t(count) * sizeof(Pixel32));
        else if (w > 0)
          CopyWeighted(dp, sp, count, w);
        break;
      case UseSourceAlpha | BlendCopy:
        if (w > 0) CopySourceAlpha(dp, sp, count, w);
        break;
      case UseSourceAlpha | BlendAdd:
        if (w > 0) AddSourceAlpha(dp, sp, count, w);
        break;
      case UseSourceAlpha | BlendDodge:
        if (w > 0) DodgeSourceAlpha(dp, sp, count, w);
        break;
      default:
        return;  // no caller uses the other modes
    }
  }
}

void RasterFill(RasterBitmap* dest, int32_t x, int32_t y, int32_t width, int32_t height, Pixel32 color, float weight,
                int32_t mode) {
  if (!dest) return;
  if (mode & UseSourceAlpha) weight *= float(color >> 24) / 255.0f;
  int64_t fx = x, fy = y, fw = width, fh = height;
  if (fx < 0) {
    fw += fx;
    fx = 0;
  }
  if (fy < 0) {
    fh += fy;
    fy = 0;
  }
  if (fw > dest->Width() - fx) fw = dest->Width() - fx;
  if (fh > dest->Height() - fy) fh = dest->Height() - fy;
  if (weight == 0.0f || !dest->PixelData() || fw <= 0 || fh <= 0 || dest->RowSpan() <= 0) return;

  const int32_t w = RasterIntegerWeight(weight);
  const int32_t baseMode = mode & ~UseSourceAlpha;
  const bool shortcut = baseMode == BlendCopy && (w == 256 || w == 128 || w == 64 || w == 192);
  if (!shortcut && w == 0) return;
  const int32_t count = int32_t(fw);
  RowCursor d(*dest, int32_t(fy));
  for (int64_t row = 0; row < fh; ++row, d.Next()) {
    Pixel32* dp = d.row + fx;
    if (shortcut)
      FillShortcut(dp, count, color, w);
    else if (baseMode == BlendCopy)
      FillCopy(dp, count, color, w);
    else if (baseMode == BlendAdd)
      FillAdd(dp, count, color, w);
    else if (baseMode == BlendDodge)
      FillDodge(dp, count, color, w);
    else
      return;
  }
}

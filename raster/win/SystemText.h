#pragma once
// The Windows system route of CachedFont: GDI draws whole texts straight into
// a bitmap's device context (or through a scratch bitmap when it has none).
#include <cstdint>

#include "raster/RasterFont.h"

struct SystemTextState {
  NativeFontHandle font = nullptr;  // an HFONT
  Pixel32 textColor = 0;
  Pixel32 backColor = 0;
  int32_t backMode = BackTransparent;
  float weight = 1.0f;
};

// True when the process runs under Wine (probed once, from the registry).
bool RunningUnderWine();

// Draws or measures text as RenderText does; returns the text height.
int32_t SystemRenderText(const SystemTextState& state, RasterBitmap* bitmap, const char* text, int32_t length,
                         RasterRect* rect, uint32_t flags);

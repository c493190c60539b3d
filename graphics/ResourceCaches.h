#pragma once
// The process-wide image and font caches every editor shares. Each is under
// its own lock; entries are never removed while the module is loaded, so a
// pointer found here stays valid. Both are emptied when the module unloads;
// after that lookups find nothing and stores are refused.
#include <cstdint>

class RasterBitmap;
class RasterFont;
class CachedFont;

// True when id is cached; *bitmap is then the cached image (possibly null,
// for an image that could not be loaded).
bool FindCachedBitmap(int32_t id, RasterBitmap** bitmap);
// Caches bitmap (owned from now on, may be null) under id and returns the
// image cached for id. When id was cached meanwhile the earlier image wins
// and bitmap is deleted; after unload bitmap is deleted and null returned.
RasterBitmap* StoreCachedBitmap(int32_t id, RasterBitmap* bitmap);
int32_t CachedBitmapCount();

// Fonts are keyed by size, orientation, style and face name (exact).
RasterFont* FindCachedFont(int32_t size, int32_t orientation, int32_t style, const char* faceName);
// As StoreCachedBitmap, for a font that is not null.
RasterFont* StoreCachedFont(int32_t size, int32_t orientation, int32_t style, const char* faceName, CachedFont* font);
int32_t CachedFontCount();

class PlainLock;
// Shared fonts keep a text colour and a glyph store that drawing changes, so
// editors drawing on different threads take turns with this lock.
PlainLock& SharedFontUseLock();

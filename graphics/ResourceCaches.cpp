#include "graphics/ResourceCaches.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "graphics/GuiTypes.h"
#include "platform/Lock.h"
#include "base/PtrList.h"
#include "raster/RasterBitmap.h"
#include "raster/RasterFont.h"

namespace {

struct BitmapRecord {
  int32_t id;
  RasterBitmap* bitmap;
};

struct FontRecord {
  int32_t size;
  int32_t orientation;
  int32_t style;
  char faceName[TextStyle::kFaceCapacity];
  CachedFont* font;

  bool Matches(int32_t s, int32_t o, int32_t st, const char* name) const {
    return size == s && orientation == o && style == st && std::strcmp(faceName, name) == 0;
  }
};

// Cleared only by the destructors at unload; a trivially destructible flag
// stays readable after them, so late callers see the caches as gone.
std::atomic<bool> bitmapCacheGone{false};
std::atomic<bool> fontCacheGone{false};

// Records and their objects are destroyed in list order.
template <class Record, class DeleteObject>
void DestroyInListOrder(PtrList<Record>& records, DeleteObject deleteObject) {
  for (int32_t i = 0; i < records.Count(); ++i) deleteObject(records.Get(i));
  while (records.Count() > 0) delete records.Take(0);
}

struct BitmapCache {
  PlainLock lock;
  PtrList<BitmapRecord> records{4096};

  ~BitmapCache() {
    LockHold hold(lock);
    bitmapCacheGone = true;
    DestroyInListOrder(records, [](BitmapRecord* r) { delete r->bitmap; });
  }

  BitmapRecord* Find(int32_t id) const {
    for (int32_t i = 0; i < records.Count(); ++i) {
      if (records.Get(i)->id == id) return records.Get(i);
    }
    return nullptr;
  }
};

struct FontCache {
  PlainLock lock;
  PtrList<FontRecord> records{4096};

  ~FontCache() {
    LockHold hold(lock);
    fontCacheGone = true;
    DestroyInListOrder(records, [](FontRecord* r) { delete r->font; });
  }

  FontRecord* Find(int32_t size, int32_t orientation, int32_t style, const char* name) const {
    for (int32_t i = 0; i < records.Count(); ++i) {
      if (records.Get(i)->Matches(size, orientation, style, name)) return records.Get(i);
    }
    return nullptr;
  }
};

BitmapCache* TheBitmapCache() {
  if (bitmapCacheGone) return nullptr;
  static BitmapCache cache;
  return &cache;
}

FontCache* TheFontCache() {
  if (fontCacheGone) return nullptr;
  static FontCache cache;
  return &cache;
}

const char* NameOrEmpty(const char* name) { return name ? name : ""; }

}  // namespace

bool FindCachedBitmap(int32_t id, RasterBitmap** bitmap) {
  BitmapCache* cache = TheBitmapCache();
  if (!cache) return false;
  LockHold hold(cache->lock);
  const BitmapRecord* record = cache->Find(id);
  if (!record) return false;
  if (bitmap) *bitmap = record->bitmap;
  return true;
}

RasterBitmap* StoreCachedBitmap(int32_t id, RasterBitmap* bitmap) {
  BitmapCache* cache = TheBitmapCache();
  if (!cache) {
    delete bitmap;
    return nullptr;
  }
  LockHold hold(cache->lock);
  if (const BitmapRecord* earlier = cache->Find(id)) {
    delete bitmap;
    return earlier->bitmap;
  }
  auto* record = new BitmapRecord{id, bitmap};
  if (!cache->records.Add(record)) {
    // Not cached: the caller could not keep it alive, so nothing is drawn.
    delete record;
    delete bitmap;
    return nullptr;
  }
  return bitmap;
}

int32_t CachedBitmapCount() {
  BitmapCache* cache = TheBitmapCache();
  if (!cache) return 0;
  LockHold hold(cache->lock);
  return cache->records.Count();
}

RasterFont* FindCachedFont(int32_t size, int32_t orientation, int32_t style, const char* faceName) {
  FontCache* cache = TheFontCache();
  if (!cache) return nullptr;
  LockHold hold(cache->lock);
  const FontRecord* record = cache->Find(size, orientation, style, NameOrEmpty(faceName));
  return record ? record->font : nullptr;
}

RasterFont* StoreCachedFont(int32_t size, int32_t orientation, int32_t style, const char* faceName, CachedFont* font) {
  FontCache* cache = TheFontCache();
  if (!cache || !font) {
    delete font;
    return nullptr;
  }
  faceName = NameOrEmpty(faceName);
  LockHold hold(cache->lock);
  if (const FontRecord* earlier = cache->Find(size, orientation, style, faceName)) {
    delete font;
    return earlier->font;
  }
  auto* record = new FontRecord{size, orientation, style, {}, font};
  std::snprintf(record->faceName, sizeof(record->faceName), "%s", faceName);
  if (!cache->records.Add(record)) {
    delete record;
    delete font;
    return nullptr;
  }
  return font;
}

int32_t CachedFontCount() {
  FontCache* cache = TheFontCache();
  if (!cache) return 0;
  LockHold hold(cache->lock);
  return cache->records.Count();
}

PlainLock& SharedFontUseLock() {
  static PlainLock lock;
  return lock;
}

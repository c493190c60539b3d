#pragma once
#include <cstdint>

#include "raster/RasterBitmap.h"

// Decodes a complete PNG held in memory into a new bitmap of 0xAARRGGBB
// pixels owned by the caller; null on any failure.
MemBitmap* DecodePngMemory(const void* bytes, int32_t length);

// Decodes the module's image resource id (only its low 16 bits count); null
// when it is absent or does not decode. moduleInstance is unused on Linux.
MemBitmap* LoadPngResource(void* moduleInstance, int32_t id);

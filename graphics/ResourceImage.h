#pragma once
// How every window layer turns an image resource name into a bitmap.
#include <cstdint>

class RasterBitmap;

// The name only chooses the decoder: the text after its last "." (after its
// first character when it has none) must be "png", ignoring case.
bool IsPngResourceName(const char* name);

// The module's image resource id when its name chooses PNG, decoded when
// its pixels are first asked for; a new bitmap owned by the caller, or null
// when the resource is absent or has no readable header.
RasterBitmap* LoadNamedResourceImage(void* moduleInstance, int32_t id, const char* name);

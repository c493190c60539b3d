#include "platform/ModuleResources.h"

bool FindModuleResource(int id, const uint8_t** data, int32_t* size) {
  const int wanted = id & 0xFFFF;
  for (int32_t i = 0; i < kEmbeddedResourceCount; ++i) {
    const EmbeddedResource& entry = kEmbeddedResources[i];
    if (entry.id != wanted) continue;
    if (data) *data = entry.data;
    if (size) *size = entry.size;
    return true;
  }
  return false;
}

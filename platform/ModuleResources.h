#pragma once
#include <cstdint>

// The module's embedded image resources. Only the low 16 bits of id count.
// On success *data points at bytes that live as long as the module; an entry
// whose file was missing at build time is found with size 0.
bool FindModuleResource(int id, const uint8_t** data, int32_t* size);

// One embedded resource; the build generates the table of them.
struct EmbeddedResource {
  int id;
  const uint8_t* data;
  int32_t size;
};
extern const EmbeddedResource kEmbeddedResources[];
extern const int32_t kEmbeddedResourceCount;

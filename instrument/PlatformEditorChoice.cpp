// Until a window editor exists for this platform, the instrument's editor
// draws off screen only.
#include "graphics/HeadlessEditor.h"
#include "graphics/PlatformEditor.h"

Editor* CreatePlatformEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate) {
  return new HeadlessEditor(plug, width, height, frameRate);
}

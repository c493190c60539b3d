#include "graphics/PlatformEditor.h"

#include <atomic>

namespace {
std::atomic<EditorFactory> gFactory{nullptr};
}

void SetEditorFactory(EditorFactory factory) { gFactory.store(factory); }

Editor* CreateInstrumentEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate) {
  if (EditorFactory factory = gFactory.load()) return factory(plug, width, height, frameRate);
  return CreatePlatformEditor(plug, width, height, frameRate);
}

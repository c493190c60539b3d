#pragma once
// What the framework asks of its editor. The editor lives in a layer above
// the framework and implements this, so the plug-in core and the preset
// files work with any editor and include no window code.
#include <cstdint>

class Editor;

class EditorLink {
public:
  virtual ~EditorLink() = default;

  // Shows a parameter's value on the controls bound to it.
  virtual void ParamToControls(int32_t index, double value, bool isNormalized) = 0;
  // Readies the bitmaps and fonts before the first draw.
  virtual void PrepareDrawing() = 0;
  // The editor's own window inside parent, or null when it cannot open.
  virtual void* OpenEditorWindow(void* parent) = 0;
  virtual void CloseEditorWindow() = 0;
  // Called on the window's thread between host events.
  virtual void Idle() = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // The whole editor, for the layers above that know it; the framework
  // only hands the pointer on.
  virtual Editor* FullEditor() = 0;
};

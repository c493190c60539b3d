#pragma once
// The editor the instrument shows: the platform's window editor (X11 on
// Linux, Win32 on Windows), unless a factory was put in its place.
#include <cstdint>

class Editor;
class PlugBase;

// Defined by the platform's window layer.
Editor* CreatePlatformEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate);

using EditorFactory = Editor* (*)(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate);

// Instruments created afterwards get their editor from factory (tests use an
// off-screen editor that scripts the user's choices); null restores the
// platform's editor.
void SetEditorFactory(EditorFactory factory);

// The editor an instrument creates: the factory's, else the platform's.
Editor* CreateInstrumentEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate);

#pragma once
// A picture of the whole editor for tests and tools.

class Editor;

// Redraws every control off screen and writes the draw bitmap to path as an
// opaque RGBA PNG. False when there is nothing to write or writing failed.
bool SaveEditorPng(Editor& editor, const char* path);

#pragma once
// The editor the instrument shows: the platform's window editor where one
// exists, otherwise an editor that only draws off screen.
#include <cstdint>

class Editor;
class PlugBase;

Editor* CreatePlatformEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate);

#pragma once
#include <cstdint>
#include <cstdio>

// Writes a picture as an 8-bit PNG into an open file: RGB, or RGBA with
// withAlpha. rowBytes(context, y) gives row y's bytes, 3 or 4 per pixel;
// it is called once per row, top first. False when libpng fails.
using PngRowSource = const uint8_t* (*)(void* context, int32_t y);
bool WritePngRows(FILE* file, int32_t width, int32_t height, bool withAlpha, PngRowSource rowBytes, void* context);

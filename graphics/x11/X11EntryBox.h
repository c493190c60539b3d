#pragma once
// The text entry box the X11 editor draws over a control: the typed text,
// its length limit and its picture. Which characters reach it is decided by
// the editor's character filter.
#include <cstdint>
#include <string>

#include "graphics/GuiTypes.h"
#include "raster/RasterBitmap.h"

class Editor;

class X11EntryBox {
public:
  // The box covers rect with its right and bottom edges included. The whole
  // initial text starts selected, so the first character replaces it.
  void Open(const TextStyle& style, const PixelRect& rect, const char* initialText, int32_t lengthLimit);
  void Close();
  bool IsOpen() const { return open_; }

  // Adds one character (a Unicode code point); false when the limit is
  // reached or the character is a control character.
  bool Insert(uint32_t character);
  // Removes the selection, or else the last character.
  bool Backspace();
  const std::string& Text() const { return text_; }
  PixelRect Bounds() const { return bounds_; }

  // Paints the box into its own bitmap, in the style's entry colours,
  // first widening the box (within the editor) where the text needs it.
  const RasterBitmap& Render(Editor& editor);

private:
  int32_t CharacterCount() const;
  void WidenToFit(int32_t textWidth, int32_t editorWidth);

  bool open_ = false;
  TextStyle style_;
  PixelRect bounds_;
  std::string text_;  // UTF-8
  bool allSelected_ = false;
  int32_t lengthLimit_ = 0;
  SysBitmap bitmap_;
};

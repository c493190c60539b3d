#include "graphics/x11/X11EntryBox.h"

#include <algorithm>

#include "graphics/Editor.h"
#include "graphics/ResourceCaches.h"
#include "raster/RasterFont.h"
#include "raster/RasterOps.h"

namespace {

// A limit of 0 or less means no practical limit, as for a system edit box.
constexpr int32_t kUnlimitedLength = 65535;
constexpr Pixel32 kSelectionColor = 0xFF3875D7;
constexpr Pixel32 kSelectedTextColor = 0xFFFFFFFF;
constexpr int32_t kTextInset = 2;
constexpr int32_t kCaretRoom = 2;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += char(code);
  } else if (code < 0x800) {
    out += char(0xC0 | (code >> 6));
    out += char(0x80 | (code & 0x3F));
  } else {
    out += char(0xE0 | ((code >> 12) & 0x0F));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  }
}

}  // namespace

void X11EntryBox::Open(const TextStyle& style, const PixelRect& rect, const char* initialText, int32_t lengthLimit) {
  open_ = true;
  style_ = style;
  style_.font = nullptr;
  bounds_ = PixelRect{rect.left, rect.top, rect.right + 1, rect.bottom + 1};
  text_ = initialText ? initialText : "";
  allSelected_ = !text_.empty();
  lengthLimit_ = lengthLimit > 0 ? lengthLimit : kUnlimitedLength;
}

void X11EntryBox::Close() {
  open_ = false;
  text_.clear();
  allSelected_ = false;
}

int32_t X11EntryBox::CharacterCount() const {
  int32_t count = 0;
  for (char c : text_)
    if (!IsContinuationByte(c)) ++count;
  return count;
}

bool X11EntryBox::Insert(uint32_t character) {
  if (!open_ || character < 0x20 || character == 0x7F || character > 0xFFFF) return false;
  if (allSelected_) {
    text_.clear();
    allSelected_ = false;
  }
  if (CharacterCount() >= lengthLimit_) return false;
  AppendUtf8(text_, character);
  return true;
}

bool X11EntryBox::Backspace() {
  if (!open_ || text_.empty()) return false;
  if (allSelected_) {
    text_.clear();
    allSelected_ = false;
    return true;
  }
  while (!text_.empty() && IsContinuationByte(text_.back())) text_.pop_back();
  if (!text_.empty()) text_.pop_back();
  return true;
}

void X11EntryBox::WidenToFit(int32_t textWidth, int32_t editorWidth) {
  // The box is sized for its control, not for the text: it grows around
  // its centre (never shrinks while open) so the whole text stays readable.
  const int32_t needed = textWidth + 2 * kTextInset + kCaretRoom;
  const int32_t extra = needed - bounds_.Width();
  if (extra <= 0) return;
  bounds_.left -= extra / 2;
  bounds_.right += extra - extra / 2;
  if (editorWidth <= 0) return;
  if (bounds_.right > editorWidth) {
    bounds_.left -= bounds_.right - editorWidth;
    bounds_.right = editorWidth;
  }
  if (bounds_.left < 0) {
    bounds_.right = std::min(editorWidth, bounds_.right - bounds_.left);
    bounds_.left = 0;
  }
}

const RasterBitmap& X11EntryBox::Render(Editor& editor) {
  RasterFont* font = editor.FontFor(style_);
  int32_t textWidth = 0;
  if (font) {
    LockHold fontInUse(SharedFontUseLock());
    RasterRect measured{};
    font->RenderText(nullptr, text_.c_str(), -1, &measured, TextMeasureOnly | TextSingleLine);
    textWidth = measured.right - measured.left;
  }
  WidenToFit(textWidth, editor.Width());
  const int32_t width = bounds_.Width();
  const int32_t height = bounds_.Height();
  if (bitmap_.Width() != width || bitmap_.Height() != height) bitmap_.SetSize(width, height);
  if (!bitmap_.PixelData()) return bitmap_;
  RasterFill(&bitmap_, 0, 0, width, height, style_.entryBackColor.Packed() | 0xFF000000u, 1.0f, BlendCopy);
  if (!font) return bitmap_;
  LockHold fontInUse(SharedFontUseLock());

  uint32_t align = TextVCenter | TextSingleLine;
  if (style_.alignment == kAlignCenter) align |= TextCenter;
  if (style_.alignment == kAlignRight) align |= TextRight;
  RasterRect area{kTextInset, 0, width - kTextInset, height};
  int32_t textLeft = area.left;
  if (style_.alignment == kAlignCenter) textLeft = area.left + (area.right - area.left - textWidth) / 2;
  if (style_.alignment == kAlignRight) textLeft = area.right - textWidth;

  Pixel32 textColor = style_.entryTextColor.Packed() | 0xFF000000u;
  if (allSelected_) {
    RasterFill(&bitmap_, textLeft, 1, textWidth, height - 2, kSelectionColor, 1.0f, BlendCopy);
    textColor = kSelectedTextColor;
  }
  font->ChangeTextColor(textColor);
  font->RenderText(&bitmap_, text_.c_str(), -1, &area, align);
  if (!allSelected_) {
    // The caret sits after the last character.
    RasterFill(&bitmap_, textLeft + textWidth, 2, 1, height - 4, style_.entryTextColor.Packed() | 0xFF000000u, 1.0f,
               BlendCopy);
  }
  return bitmap_;
}

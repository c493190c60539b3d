#include "graphics/win/WinEditorLogic.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "graphics/GuiTypes.h"
#include "plugin/PlugParam.h"

namespace winui {

int32_t KeyCodeFor(uint32_t virtualKey) {
  switch (virtualKey) {
    case 0x20:
      return KeyCode::Space;
    case 0x26:
      return KeyCode::ArrowUp;
    case 0x28:
      return KeyCode::ArrowDown;
    case 0x25:
      return KeyCode::ArrowLeft;
    case 0x27:
      return KeyCode::ArrowRight;
    default:
      break;
  }
  if (virtualKey >= 0x30 && virtualKey <= 0x39) return KeyCode::Digit0 + int32_t(virtualKey - 0x30);
  if (virtualKey >= 0x41 && virtualKey <= 0x5A) return KeyCode::LetterA + int32_t(virtualKey - 0x41);
  if (virtualKey >= 0x61 && virtualKey <= 0x7A) return KeyCode::LetterA + int32_t(virtualKey - 0x61);
  return -1;
}

int32_t WheelSteps(int32_t delta) { return delta / 120; }

bool EntryRawValue(const PlugParam& param, const char* text, double* raw) {
  if (!text || !raw) return false;
  if (param.Kind() == ParamKind::Bool || param.Kind() == ParamKind::Enum) {
    if (const DisplayText* entry = param.FindDisplayTextByText(text)) {
      *raw = entry->value;
      return true;
    }
  }
  // Read like a decimal number in the C locale, whatever the host's locale.
  const char* at = text;
  while (*at == ' ' || *at == '\t') ++at;
  bool negative = false;
  if (*at == '+' || *at == '-') {
    negative = *at == '-';
    ++at;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(at, at + std::strlen(at), value, std::chars_format::fixed);
  if (error != std::errc() || end == at) return false;
  if (negative) value = -value;
  if (param.NegateDisplay()) value = -value;
  *raw = value;
  return true;
}

std::string FileFilter(const char* extensions, std::string* defaultExtension) {
  if (defaultExtension) defaultExtension->clear();
  if (!extensions || !*extensions) return {};
  std::string patterns;
  bool first = true;
  for (const char* at = extensions; *at;) {
    if (*at == ' ') {
      ++at;
      continue;
    }
    const char* end = std::strchr(at, ' ');
    if (!end) end = at + std::strlen(at);
    const std::string extension(at, size_t(end - at));
    if (first && defaultExtension) *defaultExtension = extension;
    if (!first) patterns += ';';
    patterns += "*." + extension;
    first = false;
    at = end;
  }
  if (patterns.empty()) return {};
  std::string filter = patterns;
  filter += '\0';
  filter += patterns;
  filter += '\0';
  filter += '\0';
  return filter;
}

std::string FolderOfModulePath(const std::string& path) {
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos || slash + 1 == path.size()) return {};
  return path.substr(0, slash + 1);
}

std::string MenuItemText(const char* text) {
  std::string shown;
  for (const char* at = text ? text : ""; *at; ++at) {
    if (*at == '&') shown += '&';
    shown += *at;
  }
  return shown;
}

namespace {

// One side of the box: at least `least` long, centred on the prompt's span
// [low, high) and moved back inside [0, limit) when it fits there.
void PlaceSpan(int32_t low, int32_t high, int32_t least, int32_t limit, int32_t& start, int32_t& end) {
  const int64_t length = std::max<int64_t>(int64_t(high) - low, least);
  int64_t first = (int64_t(low) + high - length) / 2;
  if (length <= limit) first = std::clamp<int64_t>(first, 0, limit - length);
  start = int32_t(std::clamp<int64_t>(first, INT32_MIN, INT32_MAX));
  end = int32_t(std::clamp<int64_t>(first + length, INT32_MIN, INT32_MAX));
}

}  // namespace

PixelRect EntryBoxBounds(const PixelRect& prompt, int32_t textWidth, int32_t lineHeight, int32_t editorWidth,
                         int32_t editorHeight) {
  // One more pixel each way: the prompt's right and bottom edges are inside.
  // The text needs one more column for the caret after it.
  const int64_t right = int64_t(prompt.right) + 1, bottom = int64_t(prompt.bottom) + 1;
  const int32_t wide =
      int32_t(std::clamp<int64_t>(int64_t(std::max(textWidth, 0)) + 2 * kEntryTextInset + 1, 0, 1 << 16));
  const int32_t tall = int32_t(std::clamp<int64_t>(int64_t(std::max(lineHeight, 0)) + 2, 0, 1 << 16));
  PixelRect box;
  PlaceSpan(prompt.left, int32_t(std::min<int64_t>(right, INT32_MAX)), wide, editorWidth, box.left, box.right);
  PlaceSpan(prompt.top, int32_t(std::min<int64_t>(bottom, INT32_MAX)), tall, editorHeight, box.top, box.bottom);
  return box;
}

}  // namespace winui

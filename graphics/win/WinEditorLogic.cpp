#include "graphics/win/WinEditorLogic.h"

#include <charconv>
#include <cstring>

#include "graphics/GuiTypes.h"
#include "plugin/PlugParam.h"

namespace winui {

int32_t KeyCodeFor(uint32_t virtualKey) {
  switch (virtualKey) {
    case 0x20: return KeyCode::Space;
    case 0x26: return KeyCode::ArrowUp;
    case 0x28: return KeyCode::ArrowDown;
    case 0x25: return KeyCode::ArrowLeft;
    case 0x27: return KeyCode::ArrowRight;
    default: break;
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

}  // namespace winui

#include "platform/win32/Utf.h"

#include <windows.h>

namespace platform {

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty() || text.size() > 0x7FFFFFFF) return {};
  const int length = int(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(size_t(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
  return wide;
}

std::string Utf8FromWide(const wchar_t* text, int length) {
  if (!text || length == 0) return {};
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string narrow(size_t(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), needed, nullptr, nullptr);
  // A length of -1 counts the terminator too.
  if (length < 0 && !narrow.empty() && narrow.back() == '\0') narrow.pop_back();
  return narrow;
}

}  // namespace platform

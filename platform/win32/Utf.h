#pragma once
// UTF-8 (the system's own text) to and from the UTF-16 of the wide Win32 calls.
#include <string>

namespace platform {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const wchar_t* text, int length = -1);

}  // namespace platform

#include "base/TextBuf.h"

#include <cstring>

bool TextBuf::Set(const char* text, int32_t maxLength) {
  if (!text) text = "";
  size_t length = 0;
  while (text[length] && (maxLength < 0 || length < size_t(maxLength))) ++length;
  if (length >= size_t(INT32_MAX)) return false;
  const int32_t needed = int32_t(length) + 1;
  if (needed > buf_.Size() && !buf_.Resize(needed, false)) return false;
  std::memmove(buf_.Data(), text, length);
  buf_.Data()[length] = 0;
  return true;
}

bool TextBuf::Append(const char* text) {
  if (!text || !*text) return true;
  const int32_t have = Length();
  const size_t more = std::strlen(text);
  if (more >= size_t(INT32_MAX - have - 1)) return false;
  const int32_t needed = have + int32_t(more) + 1;
  if (needed > buf_.Size() && !buf_.Resize(needed, false)) return false;
  std::memcpy(buf_.Data() + have, text, more + 1);
  return true;
}

const char* TextBuf::Get() const { return buf_.Size() > 0 ? reinterpret_cast<const char*>(buf_.Data()) : ""; }

int32_t TextBuf::Length() const { return int32_t(std::strlen(Get())); }

bool TextBuf::Equals(const char* text) const { return std::strcmp(Get(), text ? text : "") == 0; }

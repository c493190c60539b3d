#pragma once
#include <cstdint>

#include "base/GrowBuf.h"

// Zero-terminated text in a GrowBuf. Setting never shrinks the storage and
// copies nothing when the storage could not be grown.
class TextBuf {
public:
  explicit TextBuf(int32_t granularity = 128) : buf_(granularity) {}
  TextBuf(const char* text) : buf_(128) { Set(text); }

  // Copies up to the first zero byte, at most maxLength bytes when >= 0.
  bool Set(const char* text, int32_t maxLength = -1);
  bool Append(const char* text);
  const char* Get() const;
  int32_t Length() const;
  bool Empty() const { return Length() == 0; }
  bool Equals(const char* text) const;

private:
  GrowBuf buf_;
};

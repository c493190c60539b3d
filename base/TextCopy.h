#pragma once
#include <cstddef>
#include <cstring>

// Copies text into a fixed buffer of capacity bytes, cutting it to fit and
// always terminating it. A null text copies as empty.
inline void CopyTextBounded(char* out, size_t capacity, const char* text) {
  if (!out || capacity == 0) return;
  size_t n = 0;
  if (text) {
    while (n + 1 < capacity && text[n]) ++n;
    std::memcpy(out, text, n);
  }
  out[n] = 0;
}

#pragma once
#include <cstdint>
#include <cstring>

#include "base/GrowBuf.h"

// Bytes of saved state: appended at the end, read at an explicit position.
// Integers are little-endian, doubles IEEE-754 binary64 little-endian.
// Readers return the next position, or -1 when the data ran out.
class StateChunk {
public:
  static constexpr int32_t kMagic = 0x70666674;
  static constexpr int32_t kVersion = 0x00010000;

  StateChunk() : buf_(4096) {}

  bool AppendInt32(int32_t v) { return buf_.Append(&v, 4); }
  bool AppendDouble(double v) { return buf_.Append(&v, 8); }
  bool AppendBytes(const void* bytes, int32_t n) { return buf_.Append(bytes, n); }

  int32_t ReadInt32(int32_t pos, int32_t* out) const { return ReadRaw(pos, out, 4); }
  int32_t ReadDouble(int32_t pos, double* out) const { return ReadRaw(pos, out, 8); }
  bool Has(int32_t pos, int64_t n) const { return pos >= 0 && n >= 0 && int64_t(pos) + n <= Size(); }

  void Clear() { buf_.Resize(0); }
  bool Resize(int32_t n) { return buf_.Resize(n); }
  int32_t Size() const { return buf_.Size(); }
  uint8_t* Data() { return buf_.Data(); }
  const uint8_t* Data() const { return buf_.Data(); }

  // Clears the chunk and writes the magic and format version.
  bool WriteHeader() {
    Clear();
    return AppendInt32(kMagic) && AppendInt32(kVersion);
  }
  // The header's version when one is at pos (pos moves past it); 0 and pos
  // unchanged otherwise; 0 and pos -1 when the version is cut off.
  int32_t ChunkVersion(int32_t& pos) const;

private:
  int32_t ReadRaw(int32_t pos, void* out, int32_t n) const {
    if (!Has(pos, n)) return -1;
    std::memcpy(out, buf_.Data() + pos, size_t(n));
    return pos + n;
  }
  GrowBuf buf_;
};

inline int32_t StateChunk::ChunkVersion(int32_t& pos) const {
  int32_t magic = 0;
  if (pos >= 0 && ReadInt32(pos, &magic) >= 0 && magic == kMagic) {
    int32_t version = 0;
    if (ReadInt32(pos + 4, &version) >= 0) {
      pos += 8;
      return version;
    }
    pos = -1;
    return 0;
  }
  return 0;
}

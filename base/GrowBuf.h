#pragma once
#include <cstdint>
#include <cstring>

// Growable byte buffer under every list, text, chunk and sample buffer.
// Growth is coarse (granularity) so that audio-path users can size it once
// and never allocate while running. A failed allocation keeps the old data
// and size: callers detect failure by the size being short.
class GrowBuf {
public:
  explicit GrowBuf(int32_t granularity = 4096, int32_t minCapacity = 0);
  ~GrowBuf();
  GrowBuf(const GrowBuf&) = delete;
  GrowBuf& operator=(const GrowBuf&) = delete;

  // Returns true when the size is now newSize.
  bool Resize(int32_t newSize, bool allowShrink = true);
  // As Resize, but bytes added beyond the old size are zero.
  bool ResizeZeroed(int32_t newSize, bool allowShrink = true);
  bool Append(const void* bytes, int32_t count);
  void Clear() { Resize(0); }

  uint8_t* Data() { return data_; }
  const uint8_t* Data() const { return data_; }
  int32_t Size() const { return size_; }
  int32_t Capacity() const { return capacity_; }
  int32_t Granularity() const { return granularity_; }
  int32_t MinCapacity() const { return minCapacity_; }
  void SetGranularity(int32_t granularity) { granularity_ = granularity > 0 ? granularity : 1; }

  template <class T>
  T* As() {
    return reinterpret_cast<T*>(data_);
  }
  template <class T>
  const T* As() const {
    return reinterpret_cast<const T*>(data_);
  }

  // The capacity a resize to newSize would choose; -1 when it does not fit
  // into 31 bits.
  static int64_t CapacityFor(int64_t newSize, int32_t granularity, int32_t minCapacity);

private:
  uint8_t* data_ = nullptr;
  int32_t granularity_;
  int32_t capacity_ = 0;
  int32_t size_ = 0;
  int32_t minCapacity_;
};

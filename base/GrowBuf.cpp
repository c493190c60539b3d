#include "base/GrowBuf.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {
constexpr int64_t kPage = 4096;
constexpr int64_t kMaxStep = 4194304;
constexpr int64_t kAllocatorHeader = 96;  // keeps large blocks just under whole pages
}  // namespace

GrowBuf::GrowBuf(int32_t granularity, int32_t minCapacity)
    : granularity_(granularity > 0 ? granularity : 1), minCapacity_(minCapacity > 0 ? minCapacity : 0) {}

GrowBuf::~GrowBuf() { std::free(data_); }

int64_t GrowBuf::CapacityFor(int64_t newSize, int32_t granularity, int32_t minCapacity) {
  int64_t capacity;
  if (granularity < kPage) {
    capacity = newSize + std::max<int64_t>(newSize / 2, granularity);
  } else {
    int64_t step = std::max<int64_t>(newSize / 2, granularity);
    step = step / kPage * kPage;
    step = std::clamp<int64_t>(step, kPage, kMaxStep);
    capacity = (newSize + step + kAllocatorHeader) / kPage * kPage - kAllocatorHeader;
  }
  capacity = std::max<int64_t>(capacity, minCapacity);
  if (capacity > std::numeric_limits<int32_t>::max()) return -1;
  return capacity;
}

bool GrowBuf::Resize(int32_t newSize, bool allowShrink) {
  if (newSize < 0) return false;
  if (newSize == size_) return true;
  const bool grow = newSize > capacity_;
  const bool shrink = allowShrink && newSize < size_ && newSize < capacity_ / 2 &&
                      int64_t(newSize) < int64_t(capacity_) - 4 * int64_t(granularity_);
  if (grow || shrink) {
    const int64_t capacity = CapacityFor(newSize, granularity_, minCapacity_);
    if (capacity < newSize) return false;
    if (capacity != capacity_) {
      void* moved = std::realloc(data_, size_t(capacity > 0 ? capacity : 1));
      if (!moved) return false;
      data_ = static_cast<uint8_t*>(moved);
      capacity_ = int32_t(capacity);
    }
  }
  size_ = newSize;
  return true;
}

bool GrowBuf::ResizeZeroed(int32_t newSize, bool allowShrink) {
  const int32_t oldSize = size_;
  if (!Resize(newSize, allowShrink)) return false;
  if (newSize > oldSize) std::memset(data_ + oldSize, 0, size_t(newSize - oldSize));
  return true;
}

bool GrowBuf::Append(const void* bytes, int32_t count) {
  if (count < 0 || (count > 0 && !bytes)) return false;
  const int64_t end = int64_t(size_) + count;
  if (end > std::numeric_limits<int32_t>::max()) return false;
  const int32_t at = size_;
  if (!Resize(int32_t(end), false)) return false;
  if (count > 0) std::memcpy(data_ + at, bytes, size_t(count));
  return true;
}

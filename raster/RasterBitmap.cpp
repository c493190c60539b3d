#include "raster/RasterBitmap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Largest pixel array either bitmap accepts: its byte count, the 25 %
// headroom and the alignment slack must all fit into 31 bits.
constexpr int64_t kMaxPixelBytes = (INT32_MAX - 63) / 5 * 4;

int64_t PaddedWidth(int64_t width) { return (width + 3) & ~int64_t(3); }

// Bytes for a w x h bitmap with 4-pixel rows; -1 when the size is absurd.
int64_t PixelBytesFor(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return -1;
  const int64_t bytes = PaddedWidth(width) * height * 4;
  return bytes > kMaxPixelBytes ? -1 : bytes;
}

}  // namespace

MemBitmap::MemBitmap(int32_t width, int32_t height) {
  if (width != 0 || height != 0) SetSize(width, height);
}

MemBitmap::~MemBitmap() { std::free(block_); }

void MemBitmap::ReleaseStorage() {
  std::free(block_);
  block_ = nullptr;
  allocatedBytes_ = 0;
}

Pixel32* MemBitmap::PixelData() const {
  if (!block_) return nullptr;
  const uintptr_t aligned = (reinterpret_cast<uintptr_t>(block_) + 63) & ~uintptr_t(63);
  return reinterpret_cast<Pixel32*>(aligned);
}

int32_t MemBitmap::RowSpan() const { return int32_t((int64_t(width_) + 3) & ~int64_t(rowAlignMask_)); }

bool MemBitmap::SetSize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return false;
  const int64_t needed = PixelBytesFor(width, height);
  width_ = width;
  height_ = height;
  if (needed <= 0) {
    ReleaseStorage();
  } else if (!block_) {
    block_ = static_cast<uint8_t*>(std::malloc(size_t(needed) + 63));
    allocatedBytes_ = block_ ? int32_t(needed) : 0;
  } else if (allocatedBytes_ < needed) {
    const int64_t withHeadroom = needed / 4 * 5;
    void* moved = std::realloc(block_, size_t(withHeadroom) + 63);
    if (moved) {
      block_ = static_cast<uint8_t*>(moved);
      allocatedBytes_ = int32_t(withHeadroom);
    } else {
      ReleaseStorage();
      block_ = static_cast<uint8_t*>(std::malloc(size_t(needed) + 63));
      allocatedBytes_ = block_ ? int32_t(needed) : 0;
    }
  }
  if (!block_) {
    width_ = 0;
    height_ = 0;
  }
  return true;
}

SysBitmap::SizeChange SysBitmap::PlanSize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return SizeChange::Unchanged;
  if (PixelBytesFor(width, height) < 0) {
    ReleaseStorage();
    width_ = height_ = allocatedWidth_ = allocatedHeight_ = 0;
    return SizeChange::Refused;
  }
  width_ = width;
  height_ = height;
  // A shrink keeps the storage, so the row span can stay wider than the width.
  if (width != 0 && height != 0 && allocatedWidth_ >= width && allocatedHeight_ >= height && pixels_)
    return SizeChange::KeptStorage;
  allocatedWidth_ = int32_t(PaddedWidth(width));
  allocatedHeight_ = height;
  ReleaseStorage();
  if (allocatedWidth_ == 0 || allocatedHeight_ == 0) return SizeChange::NoStorage;
  return SizeChange::NeedsStorage;
}

#if !defined(_WIN32)  // Windows: raster/win/SysBitmap.cpp

SysBitmap::SysBitmap(int32_t width, int32_t height) { SetSize(width, height); }

SysBitmap::~SysBitmap() { ReleaseStorage(); }

void SysBitmap::ReleaseStorage() {
  ::operator delete[](pixels_, std::align_val_t(64), std::nothrow);
  pixels_ = nullptr;
}

bool SysBitmap::SetSize(int32_t width, int32_t height) {
  const SizeChange change = PlanSize(width, height);
  if (change != SizeChange::NeedsStorage) return SizeChanged(change);
  const int64_t needed = int64_t(allocatedWidth_) * allocatedHeight_ * 4;
  // Zeroed like a fresh system bitmap.
  void* pixels = ::operator new[](size_t(needed), std::align_val_t(64), std::nothrow);
  if (!pixels) {
    width_ = height_ = allocatedWidth_ = allocatedHeight_ = 0;
    return true;
  }
  std::memset(pixels, 0, size_t(needed));
  pixels_ = static_cast<Pixel32*>(pixels);
  return true;
}

#endif  // !_WIN32

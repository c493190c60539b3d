#pragma once
#include <cstdint>

// One pixel: 0xAARRGGBB with straight (not premultiplied) alpha; in memory
// the bytes are blue, green, red, alpha.
using Pixel32 = uint32_t;

// A rectangle in pixels: left and top inclusive, right and bottom exclusive.
struct RasterRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// A 32-bit pixel buffer. Pixel (x, y) is PixelData()[row * RowSpan() + x],
// where row is y, or Height() - 1 - y for a bottom-up bitmap.
class RasterBitmap {
public:
  virtual ~RasterBitmap() = default;
  // Null when the bitmap has no storage.
  virtual Pixel32* PixelData() const = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual int32_t RowSpan() const = 0;
  virtual bool IsBottomUp() const { return false; }
  // True when the size changed; contents after a resize are unspecified.
  virtual bool SetSize(int32_t width, int32_t height) = 0;
  // The native drawing context holding the pixels; none on Linux.
  virtual void* DeviceContext() const { return nullptr; }
  virtual intptr_t ExtensionQuery(int32_t /*id*/, void* /*data*/) { return 0; }
};

// Heap pixels, 64-byte aligned, rows padded to 4 pixels. Grows with 25 %
// headroom and never reallocates when shrinking.
class MemBitmap : public RasterBitmap {
public:
  MemBitmap() = default;
  MemBitmap(int32_t width, int32_t height);
  ~MemBitmap() override;
  MemBitmap(const MemBitmap&) = delete;
  MemBitmap& operator=(const MemBitmap&) = delete;

  Pixel32* PixelData() const override;
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t RowSpan() const override;
  bool SetSize(int32_t width, int32_t height) override;

  // Bytes usable for pixels (the block holds 63 more for alignment).
  int32_t AllocatedBytes() const { return allocatedBytes_; }

private:
  void ReleaseStorage();

  uint8_t* block_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t allocatedBytes_ = 0;
  uint32_t rowAlignMask_ = 3;
};

// The editor's draw bitmap: a top-down 32-bit buffer the window layer puts
// on screen. It keeps its storage (and row span) when it shrinks. On Windows
// it is a DIB section selected into its own memory device context.
class SysBitmap : public RasterBitmap {
public:
#if defined(_WIN32)
  SysBitmap();
#else
  SysBitmap() = default;
#endif
  SysBitmap(int32_t width, int32_t height);
  ~SysBitmap() override;
  SysBitmap(const SysBitmap&) = delete;
  SysBitmap& operator=(const SysBitmap&) = delete;

  Pixel32* PixelData() const override { return pixels_; }
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t RowSpan() const override { return allocatedWidth_; }
  bool SetSize(int32_t width, int32_t height) override;
#if defined(_WIN32)
  // An HDC; the DIB section is selected into it.
  void* DeviceContext() const override { return deviceContext_; }
#endif

private:
  enum class SizeChange { Unchanged, Refused, KeptStorage, NoStorage, NeedsStorage };
  // The size bookkeeping both platforms share: stores the new size and
  // decides whether the current storage serves; on NeedsStorage the old
  // storage is released and allocatedWidth_ x allocatedHeight_ is wanted.
  SizeChange PlanSize(int32_t width, int32_t height);
  // What SetSize answers for a change that needs no new storage.
  static bool SizeChanged(SizeChange change) {
    return change == SizeChange::Refused || change == SizeChange::KeptStorage;
  }
  void ReleaseStorage();

  int32_t width_ = 0;
  int32_t height_ = 0;
#if defined(_WIN32)
  void* deviceContext_ = nullptr;
#endif
  Pixel32* pixels_ = nullptr;
  int32_t allocatedWidth_ = 0;
  int32_t allocatedHeight_ = 0;
#if defined(_WIN32)
  void* systemBitmap_ = nullptr;    // HBITMAP
  void* previousBitmap_ = nullptr;  // what the context held before
#endif
};

#pragma once
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "raster/RasterBitmap.h"

// Decodes a complete PNG held in memory into a new bitmap of 0xAARRGGBB
// pixels owned by the caller; null on any failure.
MemBitmap* DecodePngMemory(const void* bytes, int32_t length);

// Decodes the module's image resource id (only its low 16 bits count); null
// when it is absent or does not decode. moduleInstance is unused on Linux.
MemBitmap* LoadPngResource(void* moduleInstance, int32_t id);

// Width and height from a PNG's header chunk, checked as the decoder checks
// them; false when the bytes do not begin with such a header.
bool ReadPngSize(const void* bytes, int32_t length, int32_t* width, int32_t* height);

// An image known by its PNG header until its pixels are first asked for:
// editors are laid out from the sizes when an instance is made, and only an
// editor that draws pays for decoding. The first PixelData call decodes, on
// whichever thread makes it; calls on other threads meanwhile wait for that
// one decode. A file that does not decode has no pixels and draws nothing.
// The bytes are not copied and must outlive the image.
class PngImageOnDemand final : public RasterBitmap {
public:
  // Null when the bytes have no readable header.
  static PngImageOnDemand* FromBytes(const void* bytes, int32_t length);
  ~PngImageOnDemand() override;
  PngImageOnDemand(const PngImageOnDemand&) = delete;
  PngImageOnDemand& operator=(const PngImageOnDemand&) = delete;

  Pixel32* PixelData() const override;
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  // Zero when the image does not decode.
  int32_t RowSpan() const override;
  // The size is the picture's own; nothing changes it.
  bool SetSize(int32_t width, int32_t height) override;

  bool IsDecoded() const { return decoded_.load(std::memory_order_acquire) != nullptr; }

private:
  PngImageOnDemand(const void* bytes, int32_t length, int32_t width, int32_t height);
  const MemBitmap* Decoded() const;

  const void* bytes_;
  int32_t length_;
  int32_t width_;
  int32_t height_;
  mutable PlainLock decodeLock_;
  mutable bool decodeTried_ = false;  // under decodeLock_
  mutable std::atomic<MemBitmap*> decoded_{nullptr};
};

// The module's image resource id as an image decoded on first use; null when
// it is absent or its header does not read.
PngImageOnDemand* LoadPngResourceOnDemand(void* moduleInstance, int32_t id);

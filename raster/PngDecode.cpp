#include "raster/PngDecode.h"

#include <png.h>
#include <zlib.h>

#include <bit>
#include <csetjmp>
#include <cstddef>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ModuleResources.h"

namespace {

// Hostile headers may claim any size; nothing the module ships is larger.
constexpr png_uint_32 kMaxImageSide = 16384;

struct ReadCursor {
  const uint8_t* next;
  int32_t remaining;
};

// Requests beyond the end receive zeros; libpng then reports the damage.
void ReadFromCursor(png_structp png, png_bytep out, png_size_t count) {
  auto* cursor = static_cast<ReadCursor*>(png_get_io_ptr(png));
  const size_t available = cursor->remaining > 0 ? size_t(cursor->remaining) : 0;
  const size_t taken = count < available ? count : available;
  if (taken > 0) std::memcpy(out, cursor->next, taken);
  if (taken < count) std::memset(out + taken, 0, count - taken);
  cursor->next += taken;
  cursor->remaining -= int32_t(taken);
}

void RequestArgbTransforms(png_structp png, png_infop info) {
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, &compression, &filter);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
    colorType |= PNG_COLOR_MASK_ALPHA;
  }
  if (bitDepth == 16) png_set_strip_16(png);
  if (bitDepth < 8) png_set_packing(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if (!(colorType & PNG_COLOR_MASK_ALPHA)) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
}

// Rows arrive as bytes red, green, blue, alpha. Read as a little-endian
// word that is the pixel value with red and blue exchanged, so one pass
// swaps them, four pixels at a time where the processor allows.
Pixel32 RgbaWordToPixel(Pixel32 v) { return (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16); }

// The size is read once: the bitmap's accessors are virtual calls that the
// compiler cannot hoist out of the loops itself.
void RgbaBytesToPixels(MemBitmap& bitmap) {
  Pixel32* pixels = bitmap.PixelData();
  const int32_t width = bitmap.Width();
  const int32_t height = bitmap.Height();
  const ptrdiff_t span = bitmap.RowSpan();
  for (int32_t y = 0; y < height; ++y) {
    Pixel32* row = pixels + ptrdiff_t(y) * span;
    int32_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
#if defined(__SSE2__)
      const __m128i alphaGreen = _mm_set1_epi32(int32_t(0xFF00FF00u));
      for (; x + 4 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i redBlue = _mm_andnot_si128(alphaGreen, v);
        const __m128i swapped = _mm_or_si128(_mm_srli_epi32(redBlue, 16), _mm_slli_epi32(redBlue, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_or_si128(_mm_and_si128(alphaGreen, v), swapped));
      }
#endif
      for (; x < width; ++x) row[x] = RgbaWordToPixel(row[x]);
    } else {
      for (; x < width; ++x) {
        const auto* b = reinterpret_cast<const uint8_t*>(row + x);
        row[x] = (Pixel32(b[3]) << 24) | (Pixel32(b[0]) << 16) | (Pixel32(b[1]) << 8) | b[2];
      }
    }
  }
}

// Everything a decode owns, released on every way out. Lives outside the
// setjmp frame so that a longjmp cannot leave it in a stale register.
struct DecodeState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  MemBitmap* bitmap = nullptr;
  png_bytep* rows = nullptr;
  ReadCursor cursor{};

  ~DecodeState() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    delete[] rows;
    delete bitmap;
  }
  MemBitmap* TakeBitmap() {
    MemBitmap* result = bitmap;
    bitmap = nullptr;
    return result;
  }
};

// Runs the libpng steps; false on any libpng error. Creates nothing that
// needs a destructor, since a longjmp leaves this frame.
bool ReadImage(DecodeState* state) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_set_user_limits(state->png, kMaxImageSide, kMaxImageSide);
  // Every image byte is already covered by its chunk's CRC; the zlib stream's
  // own checksum costs a sixth of the decoding time and adds nothing.
  png_set_option(state->png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
  png_set_read_fn(state->png, &state->cursor, ReadFromCursor);
  png_read_info(state->png, state->info);
  RequestArgbTransforms(state->png, state->info);

  const png_uint_32 width = png_get_image_width(state->png, state->info);
  const png_uint_32 height = png_get_image_height(state->png, state->info);
  state->bitmap = new (std::nothrow) MemBitmap(int32_t(width), int32_t(height));
  if (!state->bitmap || !state->bitmap->PixelData() || state->bitmap->Width() != int32_t(width) ||
      state->bitmap->Height() != int32_t(height)) {
    return false;
  }
  state->rows = new (std::nothrow) png_bytep[height];
  if (!state->rows) return false;
  Pixel32* pixels = state->bitmap->PixelData();
  const ptrdiff_t span = state->bitmap->RowSpan();
  for (png_uint_32 i = 0; i < height; ++i) {
    const ptrdiff_t row = state->bitmap->IsBottomUp() ? ptrdiff_t(height) - 1 - ptrdiff_t(i) : ptrdiff_t(i);
    state->rows[i] = reinterpret_cast<png_bytep>(pixels + row * span);
  }
  png_read_image(state->png, state->rows);
  return true;
}

}  // namespace

MemBitmap* DecodePngMemory(const void* bytes, int32_t length) {
  if (!bytes || length < 8) return nullptr;
  if (png_sig_cmp(static_cast<png_const_bytep>(bytes), 0, 8) != 0) return nullptr;

  DecodeState state;
  state.cursor = {static_cast<const uint8_t*>(bytes), length};
  state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!state.png) return nullptr;
  state.info = png_create_info_struct(state.png);
  if (!state.info) return nullptr;
  if (!ReadImage(&state)) return nullptr;

  png_destroy_read_struct(&state.png, &state.info, nullptr);
  state.png = nullptr;
  RgbaBytesToPixels(*state.bitmap);
  return state.TakeBitmap();
}

MemBitmap* LoadPngResource(void* /*moduleInstance*/, int32_t id) {
  const uint8_t* data = nullptr;
  int32_t size = 0;
  if (!FindModuleResource(id & 0xFFFF, &data, &size) || size <= 7 || !data) return nullptr;
  return DecodePngMemory(data, size);
}

bool ReadPngSize(const void* bytes, int32_t length, int32_t* width, int32_t* height) {
  // Signature, then the header chunk: length 13, type, 13 bytes, checksum.
  constexpr int32_t kHeaderEnd = 8 + 8 + 13 + 4;
  if (!bytes || length < kHeaderEnd) return false;
  const auto* b = static_cast<const uint8_t*>(bytes);
  if (png_sig_cmp(b, 0, 8) != 0) return false;
  auto bigEndian = [](const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
  };
  if (bigEndian(b + 8) != 13 || std::memcmp(b + 12, "IHDR", 4) != 0) return false;
  if (uint32_t(crc32(0, b + 12, 17)) != bigEndian(b + 29)) return false;
  const uint32_t w = bigEndian(b + 16);
  const uint32_t h = bigEndian(b + 20);
  if (w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide) return false;
  if (width) *width = int32_t(w);
  if (height) *height = int32_t(h);
  return true;
}

PngImageOnDemand::PngImageOnDemand(const void* bytes, int32_t length, int32_t width, int32_t height)
    : bytes_(bytes), length_(length), width_(width), height_(height) {}

PngImageOnDemand* PngImageOnDemand::FromBytes(const void* bytes, int32_t length) {
  int32_t width = 0, height = 0;
  if (!ReadPngSize(bytes, length, &width, &height)) return nullptr;
  return new (std::nothrow) PngImageOnDemand(bytes, length, width, height);
}

PngImageOnDemand::~PngImageOnDemand() { delete decoded_.load(std::memory_order_acquire); }

const MemBitmap* PngImageOnDemand::Decoded() const {
  if (const MemBitmap* ready = decoded_.load(std::memory_order_acquire)) return ready;
  LockHold hold(decodeLock_);
  if (!decodeTried_) {
    decodeTried_ = true;
    MemBitmap* bitmap = DecodePngMemory(bytes_, length_);
    // The layout already used the header's size.
    if (bitmap && (bitmap->Width() != width_ || bitmap->Height() != height_)) {
      delete bitmap;
      bitmap = nullptr;
    }
    decoded_.store(bitmap, std::memory_order_release);
  }
  return decoded_.load(std::memory_order_acquire);
}

Pixel32* PngImageOnDemand::PixelData() const {
  const MemBitmap* bitmap = Decoded();
  return bitmap ? bitmap->PixelData() : nullptr;
}

int32_t PngImageOnDemand::RowSpan() const {
  const MemBitmap* bitmap = Decoded();
  return bitmap ? bitmap->RowSpan() : 0;
}

bool PngImageOnDemand::SetSize(int32_t, int32_t) { return false; }

PngImageOnDemand* LoadPngResourceOnDemand(void* /*moduleInstance*/, int32_t id) {
  const uint8_t* data = nullptr;
  int32_t size = 0;
  if (!FindModuleResource(id & 0xFFFF, &data, &size) || !data) return nullptr;
  return PngImageOnDemand::FromBytes(data, size);
}

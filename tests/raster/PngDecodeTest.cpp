#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/ModuleResources.h"
#include "raster/PngDecode.h"
#include "raster/RasterOps.h"
#include "tests/raster/PngTestEncoder.h"
#include "tests/raster/RasterTestSupport.h"

namespace {

std::unique_ptr<MemBitmap> Decode(const std::vector<uint8_t>& bytes) {
  return std::unique_ptr<MemBitmap>(DecodePngMemory(bytes.data(), int32_t(bytes.size())));
}

// A PNG header chunk claiming the given size, with a valid checksum.
std::vector<uint8_t> HeaderOnlyPng(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = {137, 80, 78, 71, 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(uint8_t(v >> shift));
  }
  png.insert(png.end(), {8, 6, 0, 0, 0});
  const uint32_t crc = uint32_t(crc32(0, png.data() + 12, 17));
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(uint8_t(crc >> shift));
  return png;
}

}  // namespace

TEST(DecodePngMemory, ConvertsEveryColourTypeToArgb) {
  PngLayout grey;
  grey.width = 3;
  grey.colorType = PNG_COLOR_TYPE_GRAY;
  auto bitmap = Decode(EncodePng(grey, {{0, 0x80, 0xFF}}));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->Width(), 3);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFF808080u);
  EXPECT_EQ(PixelAt(*bitmap, 2, 0), 0xFFFFFFFFu);

  PngLayout palette;
  palette.width = 2;
  palette.colorType = PNG_COLOR_TYPE_PALETTE;
  palette.palette = {{0x10, 0x20, 0x30}, {0xA0, 0xB0, 0xC0}};
  palette.transparency = {0x40};
  bitmap = Decode(EncodePng(palette, {{0, 1}}));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0x40102030u);
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFFA0B0C0u);

  PngLayout deep;
  deep.bitDepth = 16;
  bitmap = Decode(EncodePng(deep, {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}}));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xDE12569Au);

  PngLayout rgb;
  rgb.colorType = PNG_COLOR_TYPE_RGB;
  bitmap = Decode(EncodePng(rgb, {{1, 2, 3}}));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xFF010203u);

  PngLayout greyAlpha;
  greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  bitmap = Decode(EncodePng(greyAlpha, {{0x33, 0x77}}));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0x77333333u);

  PngLayout bits;
  bits.width = 9;
  bits.colorType = PNG_COLOR_TYPE_GRAY;
  bits.bitDepth = 1;
  bitmap = Decode(EncodePng(bits, {{0xA0, 0x80}}));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(*bitmap, 1, 0), 0xFF000000u);
  EXPECT_EQ(PixelAt(*bitmap, 2, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(*bitmap, 8, 0), 0xFFFFFFFFu);
}

// Wide enough rows that pixels are converted in groups and one by one;
// every channel differs so a swapped pair shows.
TEST(DecodePngMemory, PlacesEachChannelOfWideRgbaRows) {
  PngLayout wide;
  wide.width = 7;
  wide.height = 2;
  std::vector<std::vector<uint8_t>> rows(2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 7; ++x)
      for (int c = 0; c < 4; ++c) rows[y].push_back(uint8_t(0x10 * c + x + 8 * y + 1));
  auto bitmap = Decode(EncodePng(wide, rows));
  ASSERT_TRUE(bitmap);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 7; ++x) {
      const uint32_t r = 0x01 + x + 8 * y, g = r + 0x10, b = r + 0x20, a = r + 0x30;
      EXPECT_EQ(PixelAt(*bitmap, x, y), (a << 24) | (r << 16) | (g << 8) | b) << x << "," << y;
    }
  }
}

TEST(DecodePngMemory, AssemblesInterlacedImages) {
  PngLayout layout;
  layout.width = 11;
  layout.height = 9;
  layout.interlaced = true;
  std::vector<std::vector<uint8_t>> rows(layout.height, std::vector<uint8_t>(layout.width * 4));
  for (int y = 0; y < layout.height; ++y)
    for (int x = 0; x < layout.width; ++x) {
      uint8_t* p = &rows[y][x * 4];
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = uint8_t(x + y);
      p[3] = uint8_t(200 + x);
    }
  auto bitmap = Decode(EncodePng(layout, rows));
  ASSERT_TRUE(bitmap);
  for (int y = 0; y < layout.height; ++y)
    for (int x = 0; x < layout.width; ++x) {
      const Pixel32 want = (Pixel32(200 + x) << 24) | (x << 16) | (y << 8) | (x + y);
      ASSERT_EQ(PixelAt(*bitmap, x, y), want) << x << "," << y;
    }
}

TEST(DecodePngMemory, RefusesDamagedOrHostileData) {
  PngLayout layout;
  layout.width = 64;
  layout.height = 64;
  const std::vector<uint8_t> good = EncodePng(layout, NoiseRows(64, 64));
  ASSERT_GT(good.size(), 8000u);
  ASSERT_TRUE(Decode(good));

  const std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
  EXPECT_FALSE(Decode(truncated));

  std::vector<uint8_t> corrupted = good;
  corrupted[good.size() / 2] ^= 0x10;  // inside the image data: its chunk's CRC fails
  EXPECT_FALSE(Decode(corrupted));

  std::vector<uint8_t> badSignature = good;
  badSignature[1] = 'Q';
  EXPECT_FALSE(Decode(badSignature));

  const std::vector<uint8_t> signatureOnly(good.begin(), good.begin() + 8);
  EXPECT_FALSE(Decode(signatureOnly));
  EXPECT_EQ(DecodePngMemory(good.data(), 7), nullptr);
  EXPECT_EQ(DecodePngMemory(good.data(), -1), nullptr);
  EXPECT_EQ(DecodePngMemory(nullptr, 100), nullptr);

  EXPECT_FALSE(Decode(HeaderOnlyPng(100000, 100000)));
  EXPECT_FALSE(Decode(HeaderOnlyPng(20000, 1)));
  EXPECT_FALSE(Decode(HeaderOnlyPng(0, 5)));
  EXPECT_FALSE(Decode(HeaderOnlyPng(16, 16)));  // header but no image data
}

TEST(PngImageOnDemand, HasItsSizeAtOnceAndItsPixelsWhenFirstAskedFor) {
  PngLayout layout;
  layout.width = 37;
  layout.height = 5;
  const std::vector<uint8_t> png = EncodePng(layout, NoiseRows(37, 5));
  std::unique_ptr<PngImageOnDemand> image(PngImageOnDemand::FromBytes(png.data(), int32_t(png.size())));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Width(), 37);
  EXPECT_EQ(image->Height(), 5);
  EXPECT_FALSE(image->IsDecoded());

  const auto eager = Decode(png);
  ASSERT_TRUE(eager);
  ASSERT_NE(image->PixelData(), nullptr);
  EXPECT_TRUE(image->IsDecoded());
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 37; ++x) ASSERT_EQ(PixelAt(*image, x, y), PixelAt(*eager, x, y)) << x << "," << y;

  EXPECT_FALSE(image->SetSize(10, 10));
  EXPECT_EQ(image->Width(), 37);
}

// The editor is laid out from the header before the pixels are read, so
// damage found only then must leave an image that draws nothing.
TEST(PngImageOnDemand, DamageBehindAGoodHeaderDrawsNothing) {
  PngLayout layout;
  layout.width = 64;
  layout.height = 64;
  std::vector<uint8_t> png = EncodePng(layout, NoiseRows(64, 64));
  png[png.size() / 2] ^= 0x10;
  std::unique_ptr<PngImageOnDemand> image(PngImageOnDemand::FromBytes(png.data(), int32_t(png.size())));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Width(), 64);
  EXPECT_EQ(image->PixelData(), nullptr);
  EXPECT_EQ(image->RowSpan(), 0);
  EXPECT_EQ(image->PixelData(), nullptr);  // tried once, not again

  MemBitmap target(8, 8);
  FillAll(target, 0xFF123456u);
  RasterBlit(&target, image.get(), 0, 0, nullptr, 1.0f, BlendCopy);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(PixelAt(target, x, y), 0xFF123456u);

  const std::vector<uint8_t> headerOnly = HeaderOnlyPng(16, 16);
  image.reset(PngImageOnDemand::FromBytes(headerOnly.data(), int32_t(headerOnly.size())));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->PixelData(), nullptr);
}

TEST(PngImageOnDemand, RefusesBytesWithoutAReadableHeader) {
  auto refused = [](const std::vector<uint8_t>& bytes, int32_t length) {
    std::unique_ptr<PngImageOnDemand> image(PngImageOnDemand::FromBytes(bytes.data(), length));
    return image == nullptr;
  };
  const std::vector<uint8_t> good = HeaderOnlyPng(16, 16);
  EXPECT_FALSE(refused(good, int32_t(good.size())));
  EXPECT_TRUE(refused(good, int32_t(good.size()) - 1));
  EXPECT_TRUE(refused(good, -1));
  EXPECT_EQ(PngImageOnDemand::FromBytes(nullptr, 100), nullptr);

  std::vector<uint8_t> damaged = good;
  damaged[18] ^= 1;  // the width, under the header's checksum
  EXPECT_TRUE(refused(damaged, int32_t(damaged.size())));
  std::vector<uint8_t> badSignature = good;
  badSignature[1] = 'Q';
  EXPECT_TRUE(refused(badSignature, int32_t(badSignature.size())));

  for (const auto& hostile :
       {HeaderOnlyPng(0, 5), HeaderOnlyPng(5, 0), HeaderOnlyPng(20000, 1), HeaderOnlyPng(0x80000000u, 0x80000000u)}) {
    EXPECT_TRUE(refused(hostile, int32_t(hostile.size())));
  }
}

TEST(ModuleResources, LooksUpByTheLowSixteenBits) {
  const uint8_t* data = nullptr;
  int32_t size = -1;
  EXPECT_FALSE(FindModuleResource(110, &data, &size));
  EXPECT_EQ(LoadPngResource(nullptr, 110), nullptr);
  EXPECT_EQ(LoadPngResourceOnDemand(nullptr, 110), nullptr);
  EXPECT_TRUE(FindModuleResource(0x10000 | 102, &data, &size));
  for (int id = 101; id <= 109; ++id) EXPECT_TRUE(FindModuleResource(id, &data, &size)) << id;
}

TEST(ModuleResources, EditorImagesDecodeToTheirSizes) {
  const struct {
    int id, width, height;
  } images[] = {{101, 50, 3200}, {102, 592, 442}, {103, 78, 156}, {104, 45, 33}, {105, 15, 9},
                {106, 20, 40},   {107, 20, 40},   {108, 32, 44},  {109, 32, 44}};
  for (const auto& image : images) {
    const uint8_t* data = nullptr;
    int32_t size = 0;
    ASSERT_TRUE(FindModuleResource(image.id, &data, &size));
    if (size == 0) GTEST_SKIP() << "image " << image.id << " was not built into the module";
    std::unique_ptr<MemBitmap> bitmap(LoadPngResource(nullptr, image.id));
    ASSERT_TRUE(bitmap) << image.id;
    EXPECT_EQ(bitmap->Width(), image.width) << image.id;
    EXPECT_EQ(bitmap->Height(), image.height) << image.id;
  }
}

namespace {

struct EditorImage {
  int id;
  uint64_t pixelDigest;
};

// Digests of the pixels as the artwork was drawn: an encoding change must
// leave every one of them as it is.
constexpr EditorImage kEditorImages[] = {
    {101, 0x50115efeac794cc8}, {102, 0x7359f850b758e7f7}, {103, 0x964b4e77df690005},
    {104, 0x4ab84c1ad71c38e0}, {105, 0xc4f5c838e72ba8d3}, {106, 0x392b0be1327303ea},
    {107, 0x8078080d1d34f182}, {108, 0xb0416b338a0b7616}, {109, 0xbcfd4ff71d39fdfc},
};

// FNV-1a over every pixel's 0xAARRGGBB value, rows top to bottom.
uint64_t PixelDigest(const RasterBitmap& bitmap) {
  uint64_t digest = 0xcbf29ce484222325ull;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      const Pixel32 pixel = PixelAt(bitmap, x, y);
      for (int shift = 24; shift >= 0; shift -= 8) digest = (digest ^ ((pixel >> shift) & 0xFF)) * 0x100000001b3ull;
    }
  }
  return digest;
}

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The filter type byte of every row of an 8-bit RGBA, non-interlaced PNG;
// empty when the file is not one or its image data does not inflate.
std::vector<uint8_t> RowFilters(const uint8_t* png, int32_t size) {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> deflated;
  for (int32_t at = 8; at + 12 <= size;) {
    const uint32_t length = BigEndian32(png + at);
    if (length > uint32_t(size - at - 12)) return {};
    const uint8_t* body = png + at + 8;
    if (std::memcmp(png + at + 4, "IHDR", 4) == 0 && length == 13) {
      width = BigEndian32(body);
      height = BigEndian32(body + 4);
      if (body[8] != 8 || body[9] != 6 || body[12] != 0) return {};
    }
    if (std::memcmp(png + at + 4, "IDAT", 4) == 0) deflated.insert(deflated.end(), body, body + length);
    at += 12 + int32_t(length);
  }
  const size_t stride = size_t(width) * 4 + 1;
  std::vector<uint8_t> raw(stride * height);
  uLongf rawLength = uLongf(raw.size());
  if (raw.empty() || uncompress(raw.data(), &rawLength, deflated.data(), uLong(deflated.size())) != Z_OK ||
      rawLength != raw.size()) {
    return {};
  }
  std::vector<uint8_t> filters;
  for (uint32_t y = 0; y < height; ++y) filters.push_back(raw[y * stride]);
  return filters;
}

}  // namespace

// Both ways in: the editor's, decoding on first use, and the direct one.
TEST(ModuleResources, EditorImagesKeepTheirPixels) {
  for (const EditorImage& image : kEditorImages) {
    std::unique_ptr<PngImageOnDemand> onDemand(LoadPngResourceOnDemand(nullptr, image.id));
    std::unique_ptr<MemBitmap> bitmap(LoadPngResource(nullptr, image.id));
    ASSERT_TRUE(onDemand && bitmap) << image.id;
    EXPECT_EQ(PixelDigest(*bitmap), image.pixelDigest) << image.id << std::hex << " digest 0x" << PixelDigest(*bitmap);
    EXPECT_EQ(PixelDigest(*onDemand), image.pixelDigest) << image.id;
  }
}

// The first instance in a process decodes all of them; unfiltering Paeth or
// Avg rows cost several times what inflating does.
TEST(ModuleResources, EditorImagesAreStoredWithoutRowFilters) {
  for (const EditorImage& image : kEditorImages) {
    const uint8_t* data = nullptr;
    int32_t size = 0;
    ASSERT_TRUE(FindModuleResource(image.id, &data, &size));
    const std::vector<uint8_t> filters = RowFilters(data, size);
    ASSERT_FALSE(filters.empty()) << image.id;
    int32_t filtered = 0;
    for (uint8_t filter : filters) filtered += filter != 0;
    EXPECT_EQ(filtered, 0) << image.id << ": rows with a filter";
  }
}
